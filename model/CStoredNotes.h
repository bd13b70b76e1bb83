#pragma once

#include "model/CTextCodec.h"
#include "model/ReadProgress.h"
#include "model/TextHash.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class CBatchMemory;
class CMappedFile;
class CNote;
class CNoteBook;
class CStoredStretch;
struct TextInFile;

// Reads the records of a mapped notebook file: walks from record to record, reads each note's
// title and finds, measures and classes its text by code page while its bytes are fresh. Stretches
// further into the file are read on threads of their own meanwhile (CStoredStretch). The text stays
// in the file and is read when it is first needed.
class CStoredNotes
{
public:
    CStoredNotes(const CMappedFile& file, std::uint64_t offset);

    // How many threads read a file at once, the walk's included: 0 for one a core. For tests and
    // benchmarks.
    static void SetParts(unsigned parts);

    // Adds count notes to book, which is empty. Raises CFileException (invalidFile) on a damaged
    // record, as the reader of a whole file does. Returns whether any string is not UTF-8. With
    // hashes, each text left in the file is hashed there as it is classed. The walk reports its
    // progress, and raises ReadCancelled once the report says so.
    bool Read(CNoteBook& book, std::uint32_t count, std::uint32_t missingAllowed,
              std::vector<StoredTextHash>* hashes = nullptr, const ReadProgress& progress = {});
    // After Read: whether the file ended before the records did, or went on after them.
    bool FilledOut() const;

private:
    friend class CStoredStretch;

    // The stretches after the walk's own for threads threads beside it; none for none.
    std::vector<std::unique_ptr<CStoredStretch>> MakeStretches(std::size_t count, bool hashes,
                                                               unsigned threads) const;
    // Takes the notes of a stretch the walk has reached from the record it landed on; returns how many.
    std::size_t TakeStretch(CStoredStretch& stretch, std::size_t first, CNoteBook& book, std::size_t index,
                            std::size_t count, std::vector<StoredTextHash>* hashes, bool& windows1252);

    // Returns whether the title is not UTF-8; a title with a text after it is left to ClassText.
    bool ReadRecord(CNoteBook& book, CNote*& note, CTextCodec& fromWindows1252, CBatchMemory* room);
    void Take(void* target, std::size_t count);
    static std::optional<TextEncoding> DecodeTitle(std::string& title, std::size_t fieldLength,
                                                   CTextCodec& fromWindows1252, bool& ends);
    static bool ReadTitle(CNote& note, TextInFile& stored, CTextCodec& fromWindows1252);
    // Returns whether the text, or the title left to it, is not UTF-8; raises as Read does.
    static bool ClassText(CNote& note, CTextCodec& fromWindows1252, std::string& bytes,
                          std::string& converted, StoredTextHash* hash);

    const CMappedFile& m_file;
    std::uint64_t m_at;
    bool m_endedShort = false;
};
