#pragma once

#include "model/CViewSettings.h"
#include "model/ReadProgress.h"

#include <cstdint>
#include <string>

class CBufferedFile;
class CFile;
class CNoteBook;
class INoteBookFrame;

// Reads a notebook file into a notebook: the header of versions 5 to 8 and later, the password
// gate, the view settings and one record per note. Every length the file gives is checked against
// the bytes left before anything is allocated for it.
class CNoteBookReader
{
public:
    struct Header
    {
        std::uint32_t version = 0;
        std::uint32_t count = 0;
        std::uint32_t passwordLength = 0;
        std::uint32_t viewFlags = 0;
        CViewSettings view;
    };

    // Notes the reader creates beyond the records present, for a file that ends where a record
    // begins. Together with the eight bytes every present record takes this bounds the note count.
    static constexpr std::uint32_t kMissingNotesAllowed = 1024;

    explicit CNoteBookReader(CNoteBook& book);

    // The whole read; on failure the notebook is empty and the reason has been shown, unless the
    // user cancelled it.
    bool Read(const std::string& path);

    // The header alone, without the password; shows the same messages as Read.
    static bool PeekHeader(const std::string& path, Header& header);

private:
    // Each shows its message when it returns false: the file cannot be opened, its version is too old.
    static bool Open(const std::string& path, CFile& file);
    static bool ReadHeader(CBufferedFile& in, Header& header);
    static void CheckLengths(const Header& header, std::uint64_t remaining);
    // Takes the password block and asks for the password. The comparison waits for the notes:
    // they decide the notebook's code page, which the password is stored in.
    void AskPassword(CBufferedFile& in, std::uint32_t length);
    // Returns whether the records ended before the count did, or bytes follow them.
    bool ReadNotesAside(CFile& file, CBufferedFile& in, std::uint32_t count);
    bool ReadNotes(CFile& file, CBufferedFile& in, std::uint32_t count, const ReadProgress& progress);
    void ReadAllNotes(CBufferedFile& in, std::uint32_t count, const ReadProgress& progress);
    void CheckPassword();
    void ApplyView(const Header& header);
    void Reset();

    CNoteBook& m_book;
    INoteBookFrame* m_frame = nullptr;
    std::string m_storedPassword;
    std::string m_enteredPassword;
    bool m_windows1252 = false;
};
