#pragma once

#include "model/CTextCodec.h"
#include "model/PackedCodePage.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

class CBatchMemory;
class CBodyWriter;
class CBufferedFile;
class CMappedFile;

// Where a note's text lies, not yet read, in the file the notebook was read from: its bytes as
// stored, enciphered and in their own code page.
struct TextInFile
{
    const CMappedFile* file = nullptr;
    std::uint64_t body = 0; // the record body's place in the file
    std::uint32_t bodyLength = 0;
    std::uint32_t textPlace = 0;  // where the text begins in the body
    std::uint32_t textLength = 0; // up to its terminator
    PackedCodePage codePage;
    PackedCodePage titleCodePage;
    // The body is the two fields and nothing else, each ending at its terminator: with the title
    // unchanged it goes back to a file as it stands.
    bool plain = false;
};

// One note: a title and plain text (UTF-8), identified by a serial number that is unique among
// the notes made since the counter was last reset.
class CNote
{
public:
    explicit CNote(const std::string& title = {}, std::string text = {});
    // A note read from a file, with its title as stored, empty or not.
    struct StoredTitle
    {
    };
    CNote(StoredTitle, std::string title);
    // A note read on another thread: it takes its serial number once its place is known (Number).
    struct Unnumbered
    {
    };
    explicit CNote(Unnumbered);
    CNote(const CNote&) = delete;
    CNote& operator=(const CNote&) = delete;

    // Notes read this many at a time and more share a block of 2 MB and more (see CBatchMemory).
    static constexpr std::size_t kBatchedFrom = 1 << 14;
    static void* operator new(std::size_t size);
    // In a slot of room when there is one with a slot left, otherwise on the heap.
    static void* operator new(std::size_t size, CBatchMemory* room);
    // A note may lie in a batch of its reader's.
    static void operator delete(void* note) noexcept;
    // Only when a note made in room fails to construct.
    static void operator delete(void* note, CBatchMemory* room) noexcept;

    const std::string& GetTitle() const { return m_title; }
    void SetTitle(std::string title);
    // A text still in the file is read here, once, by whichever thread asks first.
    const std::string& GetText() const
    {
        if (m_textState.load(std::memory_order_acquire) != kTextReady)
            LoadText();
        return m_text;
    }
    // The text without keeping it: a text still in the file is decoded into scratch, and stays
    // there. Empty for a text of a file that was changed; see IsTextLost.
    std::string_view ReadText(std::string& scratch) const;
    // A text still in the file that is ASCII, seen as it lies there: its enciphered bytes, and the
    // shifts that decipher them (see CTextString::CountShifted).
    struct StoredAscii
    {
        const std::uint8_t* bytes = nullptr;
        const std::uint8_t* shifts = nullptr;
        std::size_t length = 0;
    };
    // Sees the text that way without deciphering or copying it, when it is such a text; valid until
    // this thread next reads a text. False for any other text, which ReadText reads.
    bool ViewStoredAscii(StoredAscii& view) const;
    // Bytes the text takes, without reading it from the file.
    std::size_t GetTextSize() const;
    bool HasStoredText() const { return m_textState.load(std::memory_order_acquire) == kTextStored; }
    // Where the text is still in the file; the reader sets it.
    void SetStoredText(const TextInFile& stored);
    const TextInFile& GetStoredText() const { return m_stored; }
    // A new text, already written where stored says in a file of the process's own: an edit, as
    // SetText is, that holds no memory for the text.
    void SetWrittenText(const TextInFile& stored);
    // A text read from the file after all, as the reader does for short ones: not an edit.
    void SetReadText(std::string_view text, std::optional<TextEncoding> codePage);
    // The text was still in the file when another program changed the file: it is gone, and the
    // note holds nothing in its place until it is given a text.
    bool IsTextLost() const { return m_textLost; }
    void SetText(std::string text);
    // As SetText, into the note's own storage when the text fits it: replacing in many notes then
    // leaves no holes in the memory.
    void AssignText(std::string_view text);
    // The same for a text that current, as ReadText just read it, is to become: a text still in a
    // file is not read again.
    void AssignText(std::string_view text, std::string_view current);
    // In place, for filling a note: not an edit; the code pages stay and no change is counted.
    std::string& Title()
    {
        m_stored.plain = false;
        return m_title;
    }
    std::string& Text()
    {
        GetText();
        return m_text;
    }
    std::int32_t GetSerial() const { return m_serial; }
    // Gives a note made Unnumbered the next serial number, on the thread that makes notes.
    void Number() { m_serial = s_nextSerial++; }

    // The code page a string was read in, kept while it is unedited so that it goes back to the
    // file as it came; none for ASCII and for edited strings, which take the notebook's.
    std::optional<TextEncoding> GetTitleCodePage() const { return m_titleCodePage; }
    std::optional<TextEncoding> GetTextCodePage() const { return m_textCodePage; }
    void SetCodePages(std::optional<TextEncoding> title, std::optional<TextEncoding> text);
    // A title the reader reads after making the note, in the code page it was stored in: not an edit.
    void SetReadTitle(std::string title, std::optional<TextEncoding> codePage);

    // One record of the notebook file: serial, body length, enciphered body, each string in the
    // code page given for it. Raises CFileException when a string does not fit its code page or
    // a write fails.
    void WriteRecord(CBufferedFile& file, TextEncoding titleCodePage, TextEncoding textCodePage,
                     CTextCodec& toWindows1252) const;
    // The same record with another text in place of the note's own: the editor's unsaved typing.
    void WriteRecord(CBufferedFile& file, std::string_view text, TextEncoding titleCodePage,
                     TextEncoding textCodePage, CTextCodec& toWindows1252) const;
    // Whether WriteRecord with these code pages copies the record as it stands in the file; the
    // copy then from its body read by the caller (a save reading many bodies at once).
    bool CopiesStored(TextEncoding titleCodePage, TextEncoding textCodePage) const;
    void WriteStoredRecord(CBufferedFile& file, const std::uint8_t* body) const;
    // The start of that record for a text of textBytes bytes as stored, which the caller puts into
    // the body made here, then one zero byte: the serial, the body's length and the title field.
    // Raises CFileException when the body is too long for the file.
    void StartRecord(CBufferedFile& file, std::string_view storedTitle, std::uint64_t textBytes,
                     std::optional<CBodyWriter>& body) const;
    // Reads one record into the note. A string that is not UTF-8 is Windows-1252 and is converted;
    // each keeps the code page it came in. Raises CFileException (invalidFile) when the body is
    // not there in full.
    void ReadRecord(CBufferedFile& file, CTextCodec& fromWindows1252);

    // Leaves a string read from a file in UTF-8 and returns the code page it came in: none for
    // ASCII, which reads the same in both. Raises CFileException when it cannot be converted.
    static std::optional<TextEncoding> DecodeField(std::string& field, CTextCodec& fromWindows1252);

    static void ResetSerials() { s_nextSerial = 1; }
    // The next serial is above this one, so a notebook holding it gets no second note with it.
    static void SerialsAbove(std::int32_t serial) { s_nextSerial = std::max(s_nextSerial, serial + 1); }

private:
    enum : std::uint8_t
    {
        kTextReady,
        kTextStored,
        kTextLoading
    };

    void TextEdited();
    void LoadText() const;
    bool DecodeStored(std::string& out) const;
    void CopyStoredRecord(CBufferedFile& file) const;

    // The small members last, together: they fill one word where each would pad out its own.
    mutable std::string m_text;
    TextInFile m_stored;
    std::string m_title;
    std::int32_t m_serial;
    mutable std::atomic<std::uint8_t> m_textState{kTextReady};
    mutable bool m_textLost = false;
    PackedCodePage m_titleCodePage;
    PackedCodePage m_textCodePage;

    static std::int32_t s_nextSerial;
};
