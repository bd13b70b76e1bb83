#include "model/CNote.h"

#include "model/CBodyWriter.h"
#include "model/CBufferedFile.h"
#include "model/CByteBuffer.h"
#include "model/CTextCodec.h"
#include "model/NoteChanges.h"
#include "platform/CBatchMemory.h"
#include "platform/CFileWindow.h"
#include "platform/CMappedFile.h"

#include <cstring>
#include <new>
#include <thread>

std::int32_t CNote::s_nextSerial = 1;

CNote::CNote(const std::string& title, std::string text)
    : m_text(std::move(text)), m_title(title.empty() ? "New Note " + std::to_string(s_nextSerial) : title),
      m_serial(s_nextSerial)
{
    ++s_nextSerial;
}

CNote::CNote(StoredTitle, std::string title) : m_title(std::move(title)), m_serial(s_nextSerial)
{
    ++s_nextSerial;
}

CNote::CNote(Unnumbered) : m_serial(0) {}

void* CNote::operator new(std::size_t size)
{
    return ::operator new(size);
}

void* CNote::operator new(std::size_t size, CBatchMemory* room)
{
    void* slot = room && size <= sizeof(CNote) ? room->Take() : nullptr;
    return slot ? slot : ::operator new(size);
}

void CNote::operator delete(void* note) noexcept
{
    if (!CBatchMemory::GiveBack(note))
        ::operator delete(note);
}

void CNote::operator delete(void* note, CBatchMemory*) noexcept
{
    operator delete(note);
}

// Swapped, not moved: a move from a short string keeps the old block, and a note's old text can be
// many megabytes. It goes with the argument.
void CNote::SetTitle(std::string title)
{
    if (title == m_title)
        return;
    m_title.swap(title);
    m_titleCodePage.reset();
    m_stored.plain = false;
    CountNoteChange();
}

// A new text: stored in the notebook's code page, no longer lost, and counted as a change.
void CNote::TextEdited()
{
    m_textCodePage.reset();
    m_textLost = false;
    CountNoteChange();
}

void CNote::SetText(std::string text)
{
    // A lost text given a text, even an empty one, is no longer lost.
    if (text == GetText() && !m_textLost)
        return;
    m_text.swap(text);
    TextEdited();
}

void CNote::AssignText(std::string_view text)
{
    if (text.size() > GetText().capacity()) {
        // Not assign: it would give the note twice the room it needs.
        SetText(std::string(text));
        return;
    }
    if (text == GetText())
        return;
    m_text.assign(text.data(), text.size());
    TextEdited();
}

void CNote::AssignText(std::string_view text, std::string_view current)
{
    if (!HasStoredText()) {
        AssignText(text);
        return;
    }
    if (text == current)
        return;
    m_text.assign(text.data(), text.size());
    TextEdited();
    m_textState.store(kTextReady, std::memory_order_release);
}

void CNote::SetCodePages(std::optional<TextEncoding> title, std::optional<TextEncoding> text)
{
    m_titleCodePage = title;
    m_textCodePage = text;
}

void CNote::SetReadTitle(std::string title, std::optional<TextEncoding> codePage)
{
    m_title = std::move(title);
    m_titleCodePage = codePage;
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

// The bytes a string is stored as: itself in UTF-8 and for ASCII, otherwise converted into scratch.
std::string_view Encode(std::string_view utf8, TextEncoding codePage, CTextCodec& toWindows1252,
                        std::string& scratch)
{
    if (codePage == TextEncoding::utf8 || CTextCodec::IsAscii(utf8))
        return utf8;
    if (!toWindows1252.Convert(utf8, scratch))
        throw CFileException(CFileException::invalidFile, -1);
    return scratch;
}

} // namespace

std::optional<TextEncoding> CNote::DecodeField(std::string& field, CTextCodec& fromWindows1252)
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

void CNote::WriteRecord(CBufferedFile& file, TextEncoding titleCodePage, TextEncoding textCodePage,
                        CTextCodec& toWindows1252) const
{
    if (!HasStoredText()) {
        WriteRecord(file, m_text, titleCodePage, textCodePage, toWindows1252);
        return;
    }
    // A text still in a file that changed is not there any more: nothing may stand in its place.
    if (!m_stored.file->WasIntact())
        throw CFileException(CFileException::invalidFile, -1);
    if (CopiesStored(titleCodePage, textCodePage)) {
        CopyStoredRecord(file);
        return;
    }
    std::string scratch;
    WriteRecord(file, ReadText(scratch), titleCodePage, textCodePage, toWindows1252);
}

void CNote::WriteRecord(CBufferedFile& file, std::string_view text, TextEncoding titleCodePage,
                        TextEncoding textCodePage, CTextCodec& toWindows1252) const
{
    std::string titleScratch;
    std::string textScratch;
    const std::string_view storedTitle = Encode(m_title, titleCodePage, toWindows1252, titleScratch);
    const std::string_view storedText = Encode(text, textCodePage, toWindows1252, textScratch);

    std::optional<CBodyWriter> body;
    StartRecord(file, storedTitle, storedText.size(), body);
    const char terminator = '\0';
    body->Put(storedText.data(), static_cast<std::uint32_t>(storedText.size()));
    body->Put(&terminator, 1);
}

void CNote::StartRecord(CBufferedFile& file, std::string_view storedTitle, std::uint64_t textBytes,
                        std::optional<CBodyWriter>& body) const
{
    const std::uint64_t titleSize = storedTitle.size() + 1;
    const std::uint64_t textSize = textBytes + 1;
    const std::uint64_t length = titleSize + textSize + 8;
    if (length > UINT32_MAX)
        throw CFileException(CFileException::invalidFile, -1);
    const auto t = static_cast<std::uint32_t>(titleSize);
    const auto x = static_cast<std::uint32_t>(textSize);
    const auto l = static_cast<std::uint32_t>(length);

    file.Write(&m_serial, sizeof m_serial);
    file.Write(&l, sizeof l);
    const char terminator = '\0';
    body.emplace(file, l);
    body->Put(&t, sizeof t);
    body->Put(storedTitle.data(), t - 1);
    body->Put(&terminator, 1);
    body->Put(&x, sizeof x);
}

// The stored bytes hold both strings as this save would write them: the title is unchanged, and
// each string goes in the code page it is stored in (ASCII reads the same in both).
bool CNote::CopiesStored(TextEncoding titleCodePage, TextEncoding textCodePage) const
{
    const auto fits = [](std::optional<TextEncoding> stored, TextEncoding wanted) {
        return !stored || *stored == wanted;
    };
    return m_stored.plain && fits(m_stored.titleCodePage, titleCodePage) &&
           fits(m_stored.codePage, textCodePage);
}

void CNote::CopyStoredRecord(CBufferedFile& file) const
{
    WriteStoredRecord(file,
                      CFileWindow::OfThisThread().View(*m_stored.file, m_stored.body, m_stored.bodyLength));
    CFileWindow::LetGo(*m_stored.file, m_stored.body, m_stored.bodyLength);
}

void CNote::WriteStoredRecord(CBufferedFile& file, const std::uint8_t* body) const
{
    file.Write(&m_serial, sizeof m_serial);
    file.Write(&m_stored.bodyLength, sizeof m_stored.bodyLength);
    file.Write(body, m_stored.bodyLength);
}

void CNote::SetStoredText(const TextInFile& stored)
{
    m_stored = stored;
    m_text.clear();
    m_textCodePage = stored.codePage;
    m_textState.store(kTextStored, std::memory_order_release);
}

void CNote::SetWrittenText(const TextInFile& stored)
{
    m_stored = stored;
    std::string().swap(m_text);
    TextEdited();
    m_textState.store(kTextStored, std::memory_order_release);
}

void CNote::SetReadText(std::string_view text, std::optional<TextEncoding> codePage)
{
    m_stored = TextInFile();
    m_text.assign(text.data(), text.size());
    m_textCodePage = codePage;
    m_textState.store(kTextReady, std::memory_order_release);
}

std::size_t CNote::GetTextSize() const
{
    return HasStoredText() ? m_stored.textLength : m_text.size();
}

// The file's bytes, deciphered and in UTF-8; false when they are no longer the ones read.
bool CNote::DecodeStored(std::string& out) const
{
    if (!m_stored.file->WasIntact())
        return false;
    out.resize(m_stored.textLength);
    const std::uint64_t place = m_stored.body + m_stored.textPlace;
    CByteBuffer::DecipherAt(CFileWindow::OfThisThread().View(*m_stored.file, place, m_stored.textLength),
                            m_stored.textLength, m_stored.textPlace,
                            reinterpret_cast<std::uint8_t*>(out.data()), kNoteBookKey);
    // A text read from the mapping would otherwise count twice in this process: once read, once in
    // the file.
    CFileWindow::LetGo(*m_stored.file, place, m_stored.textLength);
    if (m_stored.codePage != TextEncoding::windows1252)
        return m_stored.file->WasIntact();
    thread_local CTextCodec fromWindows1252(CTextCodec::fromWindows1252);
    thread_local std::string converted;
    if (!fromWindows1252.Convert(out, converted))
        return false;
    out.assign(converted);
    return m_stored.file->WasIntact();
}

bool CNote::ViewStoredAscii(StoredAscii& view) const
{
    // A text longer than the window would come from the mapping, and its pages would stay.
    if (!HasStoredText() || m_stored.codePage || m_stored.textLength > CFileWindow::kSize ||
        !m_stored.file->WasIntact())
        return false;
    view.shifts = CByteBuffer::NoteBookShifts(m_stored.textPlace, m_stored.textLength);
    if (!view.shifts)
        return false;
    view.bytes = CFileWindow::OfThisThread().View(*m_stored.file, m_stored.body + m_stored.textPlace,
                                                  m_stored.textLength);
    view.length = m_stored.textLength;
    // A copy that came up short marked the file changed.
    return m_stored.file->WasIntact();
}

std::string_view CNote::ReadText(std::string& scratch) const
{
    if (!HasStoredText())
        return GetText();
    if (!DecodeStored(scratch))
        scratch.clear();
    return scratch;
}

void CNote::LoadText() const
{
    std::uint8_t expected = kTextStored;
    if (!m_textState.compare_exchange_strong(expected, kTextLoading, std::memory_order_acq_rel)) {
        // Another thread reads it.
        while (m_textState.load(std::memory_order_acquire) != kTextReady)
            std::this_thread::yield();
        return;
    }
    std::string text;
    // Asked of the system here: this text is about to be trusted.
    if (!m_stored.file->IsIntact() || !DecodeStored(text)) {
        text.clear();
        m_textLost = true;
    }
    m_text.swap(text);
    m_textState.store(kTextReady, std::memory_order_release);
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
    m_titleCodePage = DecodeField(m_title, fromWindows1252);
    m_textCodePage = DecodeField(m_text, fromWindows1252);
}
