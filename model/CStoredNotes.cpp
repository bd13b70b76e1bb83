#include "model/CStoredNotes.h"

#include "model/CByteBuffer.h"
#include "model/CNoteBook.h"
#include "platform/CBatchMemory.h"
#include "platform/CFileException.h"
#include "platform/CFileWindow.h"
#include "platform/CMappedFile.h"
#include "platform/HugePageArray.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <exception>
#include <memory>
#include <system_error>
#include <thread>
#include <vector>

namespace {

// Notes walked and classed at a time.
constexpr std::size_t kRun = 1024;
// From this many notes, a block of 2 MB and more, the notes share one (see CBatchMemory).
constexpr std::size_t kBatchFrom = 1 << 14;

// What a string holds without a block of its own.
const std::size_t kKeptTextSize = std::string().capacity();

[[noreturn]] void Fail()
{
    throw CFileException(CFileException::invalidFile, -1);
}

// Where the title's field begins in a body, after its length; a text begins right after its own
// length there when the record has no title field.
constexpr std::uint32_t kTitlePlace = sizeof(std::uint32_t);

// A field: its length and where its bytes begin in the body.
struct Field
{
    std::uint32_t place = 0;
    std::uint32_t count = 0;
};

} // namespace

// One record body, enciphered in the file, taken apart field by field as the whole reader does:
// a field whose length passes the end of the body, or is 0, gives nothing and keeps the value.
class CStoredNotes::CBody
{
public:
    CBody(const CMappedFile& file, std::uint64_t place, std::uint32_t length)
        : m_file(file), m_place(place), m_length(length)
    {
    }

    bool NextField(Field& field)
    {
        std::uint32_t count = 0;
        if (m_length - m_at < sizeof count)
            return false;
        CByteBuffer::DecipherAt(View(m_at, sizeof count), sizeof count, m_at,
                                reinterpret_cast<std::uint8_t*>(&count), kNoteBookKey);
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
        CByteBuffer::DecipherAt(View(field.place, field.count), field.count, field.place,
                                reinterpret_cast<std::uint8_t*>(out.data()), kNoteBookKey);
        return out;
    }
    bool AtEnd() const { return m_at == m_length; }

private:
    const std::uint8_t* View(std::uint32_t at, std::size_t count) const
    {
        return CFileWindow::OfThisThread().View(m_file, m_place + at, count);
    }

    const CMappedFile& m_file;
    std::uint64_t m_place;
    std::uint32_t m_length;
    std::uint32_t m_at = 0;
};

CStoredNotes::CStoredNotes(const CMappedFile& file, std::uint64_t offset) : m_file(file), m_at(offset) {}

// A field cut short by the end of the file keeps 0 for the bytes not there.
void CStoredNotes::Take(void* target, std::size_t count)
{
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(count, m_file.GetSize() - m_at));
    if (n > 0)
        std::memcpy(target, CFileWindow::OfThisThread().View(m_file, m_at, n), n);
    m_at += n;
    m_endedShort = m_endedShort || n < count;
}

bool CStoredNotes::ReadRecord(CNoteBook& book, CNote*& note, CTextCodec& fromWindows1252, CBatchMemory* room)
{
    std::int32_t serial = 0;
    std::uint32_t length = 0;
    Take(&serial, sizeof serial);
    Take(&length, sizeof length);
    if (length > m_file.GetSize() - m_at)
        Fail();
    CBody body(m_file, m_at, length);
    TextInFile stored;
    stored.file = &m_file;
    stored.body = m_at;
    stored.bodyLength = length;
    m_at += length;

    Field title;
    Field text;
    const bool hasTitle = body.NextField(title);
    const bool hasText = body.NextField(text);
    // A title with a text after it is read where the text is, on either thread (see ClassText): the
    // walk, which only one thread can do, takes no string.
    if (hasTitle && hasText) {
        note = book.AddReadNote(std::string(), room);
        stored.textPlace = text.place;
        stored.textLength = text.count;
        stored.plain = body.AtEnd();
        note->SetStoredText(stored);
        return false;
    }
    std::optional<std::string> read;
    if (hasTitle) {
        read = body.Deciphered(title);
        stored.titleCodePage = DecodeTitle(*read, title.count, fromWindows1252, stored.plain);
    }
    note = book.AddReadNote(std::move(read), room);
    note->SetCodePages(stored.titleCodePage, std::nullopt);
    if (hasText) {
        stored.textPlace = text.place;
        stored.textLength = text.count;
        note->SetStoredText(stored);
    }
    return stored.titleCodePage == TextEncoding::windows1252;
}

// A deciphered title field up to its terminator, in UTF-8; ends tells whether the terminator is the
// field's last byte.
std::optional<TextEncoding> CStoredNotes::DecodeTitle(std::string& title, std::size_t fieldLength,
                                                      CTextCodec& fromWindows1252, bool& ends)
{
    title.resize(std::strlen(title.c_str()));
    ends = title.size() + 1 == fieldLength;
    return CNote::DecodeField(title, fromWindows1252);
}

// The title of a record whose text follows it: its field lies between the body's first length and
// the text's.
bool CStoredNotes::ReadTitle(CNote& note, TextInFile& stored, CTextCodec& fromWindows1252)
{
    const std::uint32_t fieldLength = stored.textPlace - 2 * kTitlePlace;
    std::string title(fieldLength, '\0');
    CByteBuffer::DecipherAt(
        CFileWindow::OfThisThread().View(*stored.file, stored.body + kTitlePlace, fieldLength), fieldLength,
        kTitlePlace, reinterpret_cast<std::uint8_t*>(title.data()), kNoteBookKey);
    bool ends = false;
    stored.titleCodePage = DecodeTitle(title, fieldLength, fromWindows1252, ends);
    stored.plain = stored.plain && ends;
    note.SetReadTitle(std::move(title), stored.titleCodePage);
    return stored.titleCodePage == TextEncoding::windows1252;
}

// What deciphering a text once tells: where it ends and its code page. A text that is neither
// UTF-8 nor convertible from Windows-1252 makes the file unreadable, as it does read whole. Most
// texts are ASCII, which one pass without a copy tells.
bool CStoredNotes::ClassText(CNote& note, CTextCodec& fromWindows1252, std::string& bytes,
                             std::string& converted, StoredTextHash* hash)
{
    if (!note.HasStoredText())
        return false;
    TextInFile stored = note.GetStoredText();
    // A text after a title field was left its title by the walk.
    const bool title1252 = stored.textPlace > 2 * kTitlePlace && ReadTitle(note, stored, fromWindows1252);
    const std::uint64_t place = stored.body + stored.textPlace;
    const std::uint8_t* source = CFileWindow::OfThisThread().View(*stored.file, place, stored.textLength);
    bool beyondAscii = false;
    std::size_t length = 0;
    std::string_view decoded;
    std::optional<TextHash> read;
    if (hash) {
        // A text to hash is read whole deciphered, which measures it on the way.
        bytes.resize(stored.textLength);
        CByteBuffer::DecipherAt(source, stored.textLength, stored.textPlace,
                                reinterpret_cast<std::uint8_t*>(bytes.data()), kNoteBookKey);
        bytes.resize(std::strlen(bytes.c_str()));
        length = bytes.size();
        read = TextHash::Of(bytes);
        beyondAscii = !read->ascii;
        decoded = bytes;
    } else {
        length = CByteBuffer::MeasureDeciphered(source, stored.textLength, stored.textPlace, kNoteBookKey,
                                                beyondAscii);
        if (beyondAscii || length <= kKeptTextSize) {
            bytes.resize(length);
            CByteBuffer::DecipherAt(source, length, stored.textPlace,
                                    reinterpret_cast<std::uint8_t*>(bytes.data()), kNoteBookKey);
            decoded = bytes;
        }
    }
    CFileWindow::LetGo(*stored.file, place, stored.textLength);
    if (beyondAscii && CTextCodec::Classify(decoded) == StoredText::other) {
        if (!fromWindows1252.Convert(decoded, converted))
            Fail();
        decoded = converted;
        stored.codePage = TextEncoding::windows1252;
    } else if (beyondAscii) {
        stored.codePage = TextEncoding::utf8;
    } else {
        stored.codePage.reset();
    }
    // A text that fits in the note's own string takes no memory of its own: it is kept.
    if (length <= kKeptTextSize && decoded.size() <= kKeptTextSize) {
        note.SetReadText(decoded, stored.codePage);
    } else {
        stored.plain = stored.plain && length + 1 == stored.textLength;
        stored.textLength = static_cast<std::uint32_t>(length);
        note.SetStoredText(stored);
        if (hash)
            *hash = {stored.body, decoded.data() == bytes.data() ? *read : TextHash::Of(decoded)};
    }
    return title1252 || stored.codePage == TextEncoding::windows1252;
}

// The walk from record to record cannot be shared, as each record says where the next begins; the
// texts can. Both threads take runs of notes walked from one counter: the other thread from the
// start, while this one walks, and this one too once it is through.
bool CStoredNotes::Read(CNoteBook& book, std::uint32_t count, std::uint32_t missingAllowed,
                        std::vector<StoredTextHash>* hashes, const ReadProgress& progress)
{
    if (hashes)
        hashes->assign(count, {});
    // The notes of a large notebook take one block of fresh memory between them.
    const auto room =
        count >= kBatchFrom ? std::make_unique<CBatchMemory>(sizeof(CNote), count, alignof(CNote)) : nullptr;
    HugePageArray<CNote*> notes(count);
    std::atomic<std::size_t> walked{0};
    std::atomic<bool> stopped{false};
    std::atomic<std::size_t> nextRun{0};
    std::atomic<bool> windows1252{false};
    std::exception_ptr classFailure;
    const auto classRuns = [&] {
        CTextCodec fromWindows1252(CTextCodec::fromWindows1252);
        std::string bytes;
        std::string converted;
        bool found = false;
        for (;;) {
            const std::size_t from = nextRun.fetch_add(kRun);
            if (from >= count)
                break;
            const std::size_t to = std::min<std::size_t>(from + kRun, count);
            while (walked.load(std::memory_order_acquire) < to && !stopped.load())
                std::this_thread::yield();
            if (stopped.load())
                break;
            for (std::size_t i = from; i < to; ++i)
                found = ClassText(*notes[i], fromWindows1252, bytes, converted,
                                  hashes ? &(*hashes)[i] : nullptr) ||
                        found;
        }
        if (found)
            windows1252 = true;
    };
    const auto classOrStop = [&] {
        try {
            classRuns();
        } catch (...) {
            classFailure = std::current_exception();
            stopped = true;
        }
    };
    std::thread other;
    try {
        other = std::thread([&] {
            // The thread waits for the walk at first: the walk's notes find their memory made.
            if (room)
                room->MakePagesAhead(stopped);
            classOrStop();
        });
    } catch (const std::system_error&) {
    }
    bool titles1252 = false;
    CTextCodec fromWindows1252(CTextCodec::fromWindows1252);
    try {
        for (std::uint32_t i = 0; i < count && !stopped.load(); ++i) {
            // Past the end every note would come out with its default title; allow only a few.
            if (m_at == m_file.GetSize() && count - i > missingAllowed)
                Fail();
            titles1252 = ReadRecord(book, notes[i], fromWindows1252, room.get()) || titles1252;
            if ((i + 1) % kRun != 0 && i + 1 != count)
                continue;
            walked.store(i + 1, std::memory_order_release);
            if (progress && !progress(i + 1, count))
                throw ReadCancelled();
        }
    } catch (...) {
        stopped = true;
        if (other.joinable())
            other.join();
        throw;
    }
    classOrStop();
    if (other.joinable())
        other.join();
    if (classFailure)
        std::rethrow_exception(classFailure);
    return titles1252 || windows1252;
}

bool CStoredNotes::FilledOut() const
{
    return m_endedShort || m_at != m_file.GetSize();
}
