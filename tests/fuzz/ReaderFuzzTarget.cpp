#include "fuzz/ReaderFuzzTarget.h"

#include "model/CEncryptedFile.h"
#include "model/CNoteBook.h"
#include "model/CNoteBookReader.h"
#include "model/PasswordPrompt.h"
#include "platform/CFile.h"
#include "platform/MessageBox.h"
#include "support/NoteBookBytes.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <unistd.h>

namespace {

// A folder of our own for the input and its copy, removed at exit. In memory where there is a
// tmpfs, so that the saves' fsync costs nothing.
class Scratch
{
public:
    Scratch()
    {
        char shm[] = "/dev/shm/pelmora-fuzz-XXXXXX";
        char tmp[] = "/tmp/pelmora-fuzz-XXXXXX";
        m_dir = ::mkdtemp(shm) ? shm : ::mkdtemp(tmp) ? tmp : "/tmp";
        input = m_dir + "/input.pelm";
        copy = m_dir + "/copy.pelm";
    }
    ~Scratch()
    {
        ::unlink(input.c_str());
        ::unlink(copy.c_str());
        ::rmdir(m_dir.c_str());
    }
    std::string input;
    std::string copy;

private:
    std::string m_dir;
};

std::string Sealed(const std::string& plainBytes)
{
    static Scratch scratch;
    std::ofstream(scratch.input, std::ios::binary | std::ios::trunc) << plainBytes;
    CFile plain;
    CFile sealed;
    if (!plain.Open(scratch.input, CFile::modeRead) ||
        !sealed.Open(scratch.copy, CFile::modeCreate | CFile::modeWrite))
        std::abort();
    CEncryptedFile::Seal(plain, sealed, *CSealKey::Derive(CSecureBytes(kFuzzPassword), {1, 8192}));
    sealed.Close();
    return NoteBookBytes::Load(scratch.copy);
}

void Check(bool kept, const char* promise)
{
    if (!kept) {
        std::fprintf(stderr, "notebook reader broke its promise: %s\n", promise);
        std::abort();
    }
}

bool SameView(const CViewSettings& a, const CViewSettings& b)
{
    return a.m_bWordWrap == b.m_bWordWrap &&
           std::memcmp(&a.m_placement, &b.m_placement, sizeof a.m_placement) == 0 &&
           a.m_paneFirst == b.m_paneFirst && a.m_paneSecond == b.m_paneSecond &&
           std::memcmp(&a.m_font, &b.m_font, sizeof a.m_font) == 0;
}

bool SameNotes(const CNoteBook& a, const CNoteBook& b)
{
    if (a.GetCount() != b.GetCount())
        return false;
    for (std::size_t i = 0; i < a.GetCount(); ++i)
        if (a.GetNoteAtIndex(i)->GetTitle() != b.GetNoteAtIndex(i)->GetTitle() ||
            a.GetNoteAtIndex(i)->GetText() != b.GetNoteAtIndex(i)->GetText())
            return false;
    return true;
}

void CheckRead(const CNoteBook& book, std::size_t size)
{
    Check(book.GetCount() <= size / 8 + CNoteBookReader::kMissingNotesAllowed, "the bound on the note count");
    std::size_t bytes = 0;
    for (std::size_t i = 0; i < book.GetCount(); ++i) {
        const CNote* note = book.GetNoteAtIndex(i);
        Check(note->GetSerial() == static_cast<std::int32_t>(i + 1), "serials 1 to N");
        bytes += note->GetTitle().size() + note->GetText().size();
    }
    // Windows-1252 takes up to three bytes a character in UTF-8; default titles are short.
    Check(bytes <= 3 * size + 24 * book.GetCount(), "memory in proportion to the file");
}

} // namespace

bool FuzzNoteBookReader(const std::uint8_t* data, std::size_t size)
{
    static Scratch scratch;
    static const bool quiet = [] {
        SetMessageBoxHandler(
            [](const std::string&, unsigned, const std::string&) { return static_cast<int>(IDOK); });
        SetPasswordHandler([](const std::string&, std::string& password) {
            password = kFuzzPassword;
            return true;
        });
        return true;
    }();
    (void)quiet;

    std::ofstream(scratch.input, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    CNoteBook book;
    if (!book.ReadFile(scratch.input)) {
        Check(book.GetCount() == 0 && book.GetPassword().empty() && !book.GetPath().HasPath(),
              "a failed read leaves the notebook empty");
        return false;
    }
    CheckRead(book, size);
    // What was opened is checked as a plain notebook: each encrypted save would derive a key
    // at full cost.
    book.SetSecret(nullptr);

    Check(book.WriteFile(scratch.copy), "what was read can be saved");
    CNoteBook again;
    Check(again.ReadFile(scratch.copy), "what was saved can be read");
    Check(SameNotes(book, again), "notes survive a save");
    Check(book.GetPassword() == again.GetPassword(), "the password survives a save");
    Check(book.GetEncoding() == again.GetEncoding(), "the encoding survives a save");
    Check(SameView(book.GetViewSettings(), again.GetViewSettings()), "the view survives a save");
    return true;
}

std::vector<std::string> ReaderSeeds()
{
    std::vector<std::string> seeds;
    for (std::uint32_t version : {5u, 6u, 7u, 8u, 10u, 11u}) {
        NoteBookBytes::Header h;
        h.version = version;
        h.count = 3;
        h.viewFlags = 1;
        h.placement = {44, 0, 1, 0, 0, 0, 0, 10, 20, 600, 400};
        h.paneFirst = 10000;
        h.paneSecond = 22768;
        NoteBookBytes b;
        b.Head(h).Note(1, "Title", "Some text\r\nand more").Note(2, "", "").Note(3, "Caf\xE9", "5 \x80");
        seeds.push_back(b.bytes);
    }
    NoteBookBytes::Header locked;
    locked.count = 1;
    locked.passwordLength = static_cast<std::uint32_t>(std::strlen(kFuzzPassword));
    NoteBookBytes b;
    b.Head(locked).Password(kFuzzPassword).Note(1, "\xC3\xA9t\xC3\xA9", "\xE2\x82\xAC");
    seeds.push_back(b.bytes);
    NoteBookBytes empty;
    empty.Head(NoteBookBytes::Header{});
    seeds.push_back(empty.bytes);
    // The encrypted header and its chunks: a locked notebook and a plain one, sealed.
    for (std::size_t plain : {seeds.size() - 1, std::size_t{0}})
        seeds.push_back(Sealed(seeds[plain]));
    return seeds;
}

std::string MutateNoteBook(std::string bytes, std::mt19937& rng)
{
    auto pick = [&rng](std::size_t n) {
        return n == 0 ? 0 : std::uniform_int_distribution<std::size_t>(0, n - 1)(rng);
    };
    static const std::uint32_t extremes[] = {0,          1,          4,          5,          7,    8,
                                             0x7FFFFFFF, 0x80000000, 0xFFFFFFFF, 0xFFFFFFFE, 1024, 1025};
    switch (pick(5)) {
    case 0: // flip a few bytes
        for (std::size_t n = 1 + pick(4); n > 0 && !bytes.empty(); --n)
            bytes[pick(bytes.size())] ^= static_cast<char>(1 + pick(255));
        break;
    case 1: { // an extreme value in some 4-byte field
        if (bytes.size() < 4)
            break;
        const std::uint32_t value = extremes[pick(sizeof extremes / sizeof extremes[0])];
        std::memcpy(&bytes[pick(bytes.size() - 3)], &value, 4);
        break;
    }
    case 2: // cut
        bytes.resize(pick(bytes.size() + 1));
        break;
    case 3: // insert bytes
        bytes.insert(pick(bytes.size() + 1), std::string(1 + pick(16), static_cast<char>(pick(256))));
        break;
    default: // remove bytes
        if (!bytes.empty()) {
            const std::size_t at = pick(bytes.size());
            bytes.erase(at, 1 + pick(std::min<std::size_t>(16, bytes.size() - at)));
        }
        break;
    }
    return bytes;
}
