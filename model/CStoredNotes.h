#pragma once

#include "model/CTextCodec.h"
#include "model/ReadProgress.h"
#include "model/TextHash.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class CBatchMemory;
class CMappedFile;
class CNote;
class CNoteBook;
struct TextInFile;

// Reads the records of a mapped notebook file: one thread walks from record to record, and both
// read each note's title and find, measure and class its text by code page. The text stays in the
// file and is read when it is first needed.
class CStoredNotes
{
public:
    CStoredNotes(const CMappedFile& file, std::uint64_t offset);

    // Adds count notes to book, which is empty. Raises CFileException (invalidFile) on a damaged
    // record, as the reader of a whole file does. Returns whether any string is not UTF-8. With
    // hashes, each text left in the file is hashed there as it is classed. The walk reports its
    // progress, and raises ReadCancelled once the report says so.
    bool Read(CNoteBook& book, std::uint32_t count, std::uint32_t missingAllowed,
              std::vector<StoredTextHash>* hashes = nullptr, const ReadProgress& progress = {});
    // After Read: whether the file ended before the records did, or went on after them.
    bool FilledOut() const;

private:
    class CBody;

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
