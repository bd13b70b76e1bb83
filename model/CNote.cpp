#include "model/CNote.h"

#include "model/CBodyWriter.h"
#include "model/CBufferedFile.h"
#include "model/CByteBuffer.h"
#include "model/CTextCodec.h"
#include "model/NoteChanges.h"

#include <cstring>
#include <new>

std::int32_t CNote::s_nextSerial = 1;

CNote::CNote(const std::string& title, std::string text)
    : m_text(std::move(text)), m_title(title.empty() ? "New Note " + std::to_string(s_nextSerial) : title),
      m_serial(s_nextSerial)
{
    ++s_nextSerial;
}

// Swapped, not moved: a move from a short string keeps the old block, and a note's old text can be
// many megabytes. It goes with the argument.
void CNote::SetTitle(std::string title)
{
    if (title == m_title)
        return;
    m_title.swap(title);
    m_titleCodePage.reset();
    CountNoteChange();
}

void CNote::SetText(std::string text)
{
    if (text == m_text)
        return;
    m_text.swap(text);
    m_textCodePage.reset();
    CountNoteChange();
}

void CNote::AssignText(std::string_view text)
{
    if (text.size() > m_text.capacity()) {
        // Not assign: it would give the note twice the room it needs.
        SetText(std::string(text));
        return;
    }
    if (text == m_text)
        return;
    m_text.assign(text.data(), text.size());
    m_textCodePage.reset();
    CountNoteChange();
}

void CNote::SetCodePages(std::optional<TextEncoding> title, std::optional<TextEncoding> text)
{
    m_titleCodePage = title;
    m_textCodePage = text;
}

namespace {

// Takes a length field and that many bytes; the string ends at its first zero byte. A field that
// would pass the end of the body, or that is missing, copies nothing and keeps its value: a record
// without a body leaves the note's default title.
void GetField(CByteBuffer& body, std::string& field)
{
    std::uint32_t count = 0;
    body.Get(&count, sizeof count);
    if (count == 0 || count > body.GetRemaining())
        return;
    field.resize(count);
    body.Get(field.data(), count);
    field.resize(std::strlen(field.c_str()));
}

// Leaves a string as stored in UTF-8 and returns the code page it came in: none for ASCII, which
// reads the same in both.
std::optional<TextEncoding> Decode(std::string& field, CTextCodec& fromWindows1252)
{
    switch (CTextCodec::Classify(field)) {
    case StoredText::ascii:
        return std::nullopt;
    case StoredText::utf8:
        return TextEncoding::utf8;
    case StoredText::other:
        break;
    }
    std::string converted;
    if (!fromWindows1252.Convert(field, converted))
        throw CFileException(CFileException::invalidFile, -1);
    // A copy of exactly the size: the converter reserves room for the worst case.
    field = std::string(converted);
    return TextEncoding::windows1252;
}

// The bytes a string is stored as: itself in UTF-8 and for ASCII, otherwise converted into scratch.
const std::string& Encode(const std::string& utf8, TextEncoding codePage, CTextCodec& toWindows1252,
                          std::string& scratch)
{
    if (codePage == TextEncoding::utf8 || CTextCodec::IsAscii(utf8))
        return utf8;
    if (!toWindows1252.Convert(utf8, scratch))
        throw CFileException(CFileException::invalidFile, -1);
    return scratch;
}

} // namespace

void CNote::WriteRecord(CBufferedFile& file, TextEncoding titleCodePage, TextEncoding textCodePage,
                        CTextCodec& toWindows1252) const
{
    WriteRecord(file, m_text, titleCodePage, textCodePage, toWindows1252);
}

void CNote::WriteRecord(CBufferedFile& file, const std::string& text, TextEncoding titleCodePage,
                        TextEncoding textCodePage, CTextCodec& toWindows1252) const
{
    std::string titleScratch;
    std::string textScratch;
    const std::string& storedTitle = Encode(m_title, titleCodePage, toWindows1252, titleScratch);
    const std::string& storedText = Encode(text, textCodePage, toWindows1252, textScratch);

    const std::uint64_t titleSize = storedTitle.size() + 1;
    const std::uint64_t textSize = storedText.size() + 1;
    const std::uint64_t length = titleSize + textSize + 8;
    if (length > UINT32_MAX)
        throw CFileException(CFileException::invalidFile, -1);
    const auto t = static_cast<std::uint32_t>(titleSize);
    const auto x = static_cast<std::uint32_t>(textSize);
    const auto l = static_cast<std::uint32_t>(length);

    file.Write(&m_serial, sizeof m_serial);
    file.Write(&l, sizeof l);
    CBodyWriter body(file, l);
    body.Put(&t, sizeof t);
    body.Put(storedTitle.c_str(), t);
    body.Put(&x, sizeof x);
    body.Put(storedText.c_str(), x);
}

void CNote::ReadRecord(CBufferedFile& file, CTextCodec& fromWindows1252)
{
    // A record cut short in its serial or length keeps 0 for the rest, as the header does.
    std::int32_t storedSerial = 0;
    std::uint32_t length = 0;
    file.Read(&storedSerial, sizeof storedSerial);
    file.Read(&length, sizeof length);
    // Checked before taking memory, so that a damaged length cannot ask for more than the file has.
    if (length > file.GetRemaining())
        throw CFileException(CFileException::invalidFile, -1);

    CByteBuffer body;
    if (!body.Allocate(length))
        throw std::bad_alloc();
    if (file.Read(body.GetData(), length) < length)
        throw CFileException(CFileException::invalidFile, -1);
    body.Decipher(kNoteBookKey);
    GetField(body, m_title);
    GetField(body, m_text);
    m_titleCodePage = Decode(m_title, fromWindows1252);
    m_textCodePage = Decode(m_text, fromWindows1252);
}
