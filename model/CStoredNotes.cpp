#include "model/CStoredNotes.h"

#include "model/CByteBuffer.h"
#include "model/CNoteBook.h"
#include "model/CRecordBody.h"
#include "model/CStoredStretch.h"
#include "model/CStretchReaders.h"
#include "platform/CBatchMemory.h"
#include "platform/CFileException.h"
#include "platform/CFileWindow.h"
#include "platform/CMappedFile.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

namespace {

// Notes read between two reports of the progress.
constexpr std::size_t kRun = 1024;
// The threads that read at most, the walk's included. Each reads several stretches, so that
// whichever runs slower leaves more of them to the others; the smallest stretch is worth its search
// for the first record.
constexpr unsigned kMostThreads = 8;
constexpr std::uint64_t kStretchesPerThread = 8;
constexpr std::uint64_t kSmallestStretch = 1 << 20;

// What a string holds without a block of its own.
const std::size_t kKeptTextSize = std::string().capacity();

[[noreturn]] void Fail()
{
    throw CFileException(CFileException::invalidFile, -1);
}

// Where the title's field begins in a body, after its length; a text begins right after its own
// length there when the record has no title field.
constexpr std::uint32_t kTitlePlace = sizeof(std::uint32_t);

using Field = CRecordBody::Field;

unsigned s_parts = 0;

} // namespace

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
    CRecordBody body(m_file, m_at, length);
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

std::vector<std::unique_ptr<CStoredStretch>> CStoredNotes::MakeStretches(std::size_t count, bool hashes,
                                                                         unsigned threads) const
{
    const std::uint64_t bytes = m_file.GetSize() - m_at;
    const std::uint64_t parts =
        std::min<std::uint64_t>((threads + 1) * kStretchesPerThread, bytes / kSmallestStretch);
    std::vector<std::unique_ptr<CStoredStretch>> stretches;
    if (threads == 0 || count < kRun || parts < 2)
        return stretches;
    for (std::uint64_t part = 1; part < parts; ++part) {
        stretches.push_back(std::make_unique<CStoredStretch>(m_file, m_at + bytes * part / parts,
                                                             m_at + bytes * (part + 1) / parts, hashes));
    }
    return stretches;
}

std::size_t CStoredNotes::TakeStretch(CStoredStretch& stretch, std::size_t first, CNoteBook& book,
                                      std::size_t index, std::size_t count,
                                      std::vector<StoredTextHash>* hashes, bool& windows1252)
{
    // A file holding more records than its count has the rest left over, as the walk would.
    const std::size_t taken = std::min(stretch.GetCount() - first, count - index);
    for (std::size_t i = 0; i < taken; ++i) {
        book.AddReadNote(stretch.TakeNote(first + i));
        if (hashes)
            (*hashes)[index + i] = stretch.GetHash(first + i);
    }
    windows1252 = windows1252 || stretch.FoundWindows1252From(first);
    m_at = stretch.GetEnd(first + taken - 1);
    return taken;
}

// The walk from record to record goes from the first record to the first stretch read aside, takes
// the stretch's notes from the record it lands on, and goes on from where the stretch stopped.
bool CStoredNotes::Read(CNoteBook& book, std::uint32_t count, std::uint32_t missingAllowed,
                        std::vector<StoredTextHash>* hashes, const ReadProgress& progress)
{
    if (hashes)
        hashes->assign(count, {});
    // The notes of a large notebook take one block of fresh memory between them.
    const auto room = count >= CNote::kBatchedFrom
                          ? std::make_unique<CBatchMemory>(sizeof(CNote), count, alignof(CNote))
                          : nullptr;
    const unsigned threads =
        (s_parts != 0 ? s_parts : std::clamp(std::thread::hardware_concurrency(), 1u, kMostThreads)) - 1;
    const std::vector<std::unique_ptr<CStoredStretch>> stretches =
        MakeStretches(count, hashes != nullptr, threads);
    const CStretchReaders readers(stretches, threads, count);
    std::size_t next = 0; // the first stretch the walk has not reached
    std::size_t i = 0;
    bool windows1252 = false;
    const auto report = [&] {
        std::size_t read = i;
        for (std::size_t s = next; s < stretches.size(); ++s)
            read += stretches[s]->Progress();
        if (progress && !progress(std::min<std::size_t>(read, count), count))
            throw ReadCancelled();
    };
    const auto meet = [&] {
        while (i < count && next < stretches.size() && m_at >= stretches[next]->From()) {
            CStoredStretch& stretch = *stretches[next];
            const std::optional<std::uint64_t> first = stretch.First();
            // One no thread took, or one still looking for its first record in a long text, is
            // read faster by the walk.
            if (!stretch.Reached() || !first) {
                stretch.Stop();
                ++next;
                continue;
            }
            if (m_at < *first)
                return;
            stretch.Wait(report);
            if (const std::optional<std::size_t> landed = stretch.Find(m_at)) {
                i += TakeStretch(stretch, *landed, book, i, count, hashes, windows1252);
            } else if (!stretch.EndsBefore(m_at)) {
                return;
            }
            ++next;
        }
    };
    CTextCodec fromWindows1252(CTextCodec::fromWindows1252);
    std::string bytes;
    std::string converted;
    while (i < count) {
        meet();
        if (i == count)
            break;
        // Past the end every note would come out with its default title; allow only a few.
        if (m_at == m_file.GetSize() && count - i > missingAllowed)
            Fail();
        CNote* note = nullptr;
        windows1252 = ReadRecord(book, note, fromWindows1252, room.get()) || windows1252;
        windows1252 = ClassText(*note, fromWindows1252, bytes, converted, hashes ? &(*hashes)[i] : nullptr) ||
                      windows1252;
        ++i;
        if (i % kRun == 0 || i == count)
            report();
    }
    return windows1252;
}

void CStoredNotes::SetParts(unsigned parts)
{
    s_parts = parts;
}

bool CStoredNotes::FilledOut() const
{
    return m_endedShort || m_at != m_file.GetSize();
}
