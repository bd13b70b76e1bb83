#include "model/CStoredNotes.h"

#include "model/CByteBuffer.h"
#include "model/CNoteBook.h"
#include "platform/CFileException.h"
#include "platform/CMappedFile.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <system_error>
#include <thread>

namespace {

// What a string holds without a block of its own.
const std::size_t kKeptTextSize = std::string().capacity();

[[noreturn]] void Fail()
{
    throw CFileException(CFileException::invalidFile, -1);
}

// A field: its length and where its bytes begin in the body.
struct Field
{
    std::uint32_t place = 0;
    std::uint32_t count = 0;
};

} // namespace

// One record body, enciphered in the mapping, taken apart field by field as the whole reader does:
// a field whose length passes the end of the body, or is 0, gives nothing and keeps the value.
class CStoredNotes::CBody
{
public:
    CBody(const std::uint8_t* bytes, std::uint32_t length) : m_bytes(bytes), m_length(length) {}

    bool NextField(Field& field)
    {
        std::uint32_t count = 0;
        if (m_length - m_at < sizeof count)
            return false;
        CByteBuffer::DecipherAt(m_bytes + m_at, sizeof count, m_at, reinterpret_cast<std::uint8_t*>(&count),
                                kNoteBookKey);
        m_at += sizeof count;
        if (count == 0 || count > m_length - m_at)
            return false;
        field = {m_at, count};
        m_at += count;
        return true;
    }
    std::string Deciphered(const Field& field) const
    {
        std::string out(field.count, '\0');
        CByteBuffer::DecipherAt(m_bytes + field.place, field.count, field.place,
                                reinterpret_cast<std::uint8_t*>(out.data()), kNoteBookKey);
        return out;
    }
    bool AtEnd() const { return m_at == m_length; }

private:
    const std::uint8_t* m_bytes;
    std::uint32_t m_length;
    std::uint32_t m_at = 0;
};

CStoredNotes::CStoredNotes(const CMappedFile& file, std::uint64_t offset) : m_file(file), m_at(offset) {}

// A field cut short by the end of the file keeps 0 for the bytes not there.
void CStoredNotes::Take(void* target, std::size_t count)
{
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(count, m_file.GetSize() - m_at));
    std::memcpy(target, m_file.GetData() + m_at, n);
    m_at += n;
}

bool CStoredNotes::ReadRecord(CNoteBook& book)
{
    CNote* note = book.AddNote(true, false);
    std::int32_t serial = 0;
    std::uint32_t length = 0;
    Take(&serial, sizeof serial);
    Take(&length, sizeof length);
    if (length > m_file.GetSize() - m_at)
        Fail();
    CBody body(m_file.GetData() + m_at, length);
    TextInFile stored;
    stored.file = &m_file;
    stored.body = m_at;
    stored.bodyLength = length;
    m_at += length;

    Field title;
    Field text;
    bool titleEnds = false;
    if (body.NextField(title)) {
        std::string read = body.Deciphered(title);
        read.resize(std::strlen(read.c_str()));
        titleEnds = read.size() + 1 == title.count;
        thread_local CTextCodec fromWindows1252(CTextCodec::fromWindows1252);
        stored.titleCodePage = CNote::DecodeField(read, fromWindows1252);
        note->Title().swap(read);
        note->SetCodePages(stored.titleCodePage, std::nullopt);
    }
    if (!body.NextField(text))
        return stored.titleCodePage == TextEncoding::windows1252;
    stored.textPlace = text.place;
    stored.textLength = text.count;
    // Whether the title ends where its field does; the text is measured with its class.
    stored.plain = titleEnds && body.AtEnd();
    note->SetStoredText(stored);
    return stored.titleCodePage == TextEncoding::windows1252;
}

// Deciphers each text once, to find its terminator and its code page; a text that is neither
// UTF-8 nor convertible from Windows-1252 makes the file unreadable, as it does read whole.
bool CStoredNotes::ClassTexts(const CNoteBook& book, std::size_t first, std::size_t end)
{
    bool windows1252 = false;
    std::string bytes;
    std::string converted;
    CTextCodec fromWindows1252(CTextCodec::fromWindows1252);
    for (std::size_t i = first; i < end; ++i) {
        CNote& note = *book.GetNoteAtIndex(i);
        if (!note.HasStoredText())
            continue;
        TextInFile stored = note.GetStoredText();
        bytes.resize(stored.textLength);
        CByteBuffer::DecipherAt(stored.file->GetData() + stored.body + stored.textPlace, stored.textLength,
                                stored.textPlace, reinterpret_cast<std::uint8_t*>(bytes.data()),
                                kNoteBookKey);
        const std::size_t length = ::strnlen(bytes.data(), bytes.size());
        const std::string_view text(bytes.data(), length);
        std::string_view decoded = text;
        switch (CTextCodec::Classify(text)) {
        case StoredText::ascii:
            stored.codePage.reset();
            break;
        case StoredText::utf8:
            stored.codePage = TextEncoding::utf8;
            break;
        case StoredText::other:
            if (!fromWindows1252.Convert(text, converted))
                Fail();
            decoded = converted;
            stored.codePage = TextEncoding::windows1252;
            windows1252 = true;
            break;
        }
        // A text that fits in the note's own string takes no memory of its own: it is kept.
        if (decoded.size() <= kKeptTextSize) {
            note.SetReadText(decoded, stored.codePage);
            continue;
        }
        stored.plain = stored.plain && length + 1 == stored.textLength;
        stored.textLength = static_cast<std::uint32_t>(length);
        note.SetStoredText(stored);
    }
    return windows1252;
}

// The first note of the second half of the texts' bytes, so that both cores have as much to do.
std::size_t CStoredNotes::MiddleByBytes(const CNoteBook& book, std::size_t first)
{
    std::uint64_t total = 0;
    for (std::size_t i = first; i < book.GetCount(); ++i)
        total += book.GetNoteAtIndex(i)->GetTextSize();
    std::uint64_t half = 0;
    std::size_t i = first;
    for (; i < book.GetCount() && half < total / 2; ++i)
        half += book.GetNoteAtIndex(i)->GetTextSize();
    return i;
}

bool CStoredNotes::Read(CNoteBook& book, std::uint32_t count, std::uint32_t missingAllowed)
{
    const std::size_t first = book.GetCount();
    bool windows1252 = false;
    for (std::uint32_t i = 0; i < count; ++i) {
        // Past the end every note would come out with its default title; allow only a few.
        if (m_at == m_file.GetSize() && count - i > missingAllowed)
            Fail();
        windows1252 = ReadRecord(book) || windows1252;
    }
    return ClassTextsOnBothCores(book, first) || windows1252;
}

bool CStoredNotes::ClassTextsOnBothCores(const CNoteBook& book, std::size_t first)
{
    const std::size_t middle = MiddleByBytes(book, first);
    bool secondHalf = false;
    std::exception_ptr failure;
    std::thread other;
    try {
        other = std::thread([&] {
            try {
                secondHalf = ClassTexts(book, middle, book.GetCount());
            } catch (...) {
                failure = std::current_exception();
            }
        });
    } catch (const std::system_error&) {
        return ClassTexts(book, first, book.GetCount());
    }
    bool firstHalf = false;
    try {
        firstHalf = ClassTexts(book, first, middle);
    } catch (...) {
        other.join();
        throw;
    }
    other.join();
    if (failure)
        std::rethrow_exception(failure);
    return firstHalf || secondHalf;
}
