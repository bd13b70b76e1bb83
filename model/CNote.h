#pragma once

#include "model/CTextCodec.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

class CBufferedFile;

// One note: a title and plain text (UTF-8), identified by a serial number that is unique among
// the notes made since the counter was last reset.
class CNote
{
public:
    explicit CNote(const std::string& title = {}, std::string text = {});
    CNote(const CNote&) = delete;
    CNote& operator=(const CNote&) = delete;

    const std::string& GetTitle() const { return m_title; }
    void SetTitle(std::string title);
    const std::string& GetText() const { return m_text; }
    void SetText(std::string text);
    // As SetText, into the note's own storage when the text fits it: replacing in many notes then
    // leaves no holes in the memory.
    void AssignText(std::string_view text);
    // In place, for filling a note: not an edit; the code pages stay and no change is counted.
    std::string& Title() { return m_title; }
    std::string& Text() { return m_text; }
    std::int32_t GetSerial() const { return m_serial; }

    // The code page a string was read in, kept while it is unedited so that it goes back to the
    // file as it came; none for ASCII and for edited strings, which take the notebook's.
    std::optional<TextEncoding> GetTitleCodePage() const { return m_titleCodePage; }
    std::optional<TextEncoding> GetTextCodePage() const { return m_textCodePage; }
    void SetCodePages(std::optional<TextEncoding> title, std::optional<TextEncoding> text);

    // One record of the notebook file: serial, body length, enciphered body, each string in the
    // code page given for it. Raises CFileException when a string does not fit its code page or
    // a write fails.
    void WriteRecord(CBufferedFile& file, TextEncoding titleCodePage, TextEncoding textCodePage,
                     CTextCodec& toWindows1252) const;
    // The same record with another text in place of the note's own: the editor's unsaved typing.
    void WriteRecord(CBufferedFile& file, const std::string& text, TextEncoding titleCodePage,
                     TextEncoding textCodePage, CTextCodec& toWindows1252) const;
    // Reads one record into the note. A string that is not UTF-8 is Windows-1252 and is converted;
    // each keeps the code page it came in. Raises CFileException (invalidFile) when the body is
    // not there in full.
    void ReadRecord(CBufferedFile& file, CTextCodec& fromWindows1252);

    static void ResetSerials() { s_nextSerial = 1; }

private:
    std::string m_text;
    std::string m_title;
    std::int32_t m_serial;
    std::optional<TextEncoding> m_titleCodePage;
    std::optional<TextEncoding> m_textCodePage;

    static std::int32_t s_nextSerial;
};
