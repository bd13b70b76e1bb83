#include "fuzz/ReaderFuzzTarget.h"

#include "fuzz/FuzzChecks.h"
#include "fuzz/FuzzScratch.h"
#include "model/CEncryptedFile.h"
#include "model/CNoteBook.h"
#include "model/CNoteBookReader.h"
#include "platform/CFile.h"
#include "support/NoteBookBytes.h"

#include <cstdlib>
#include <cstring>
#include <string_view>

namespace {

std::string Sealed(const std::string& plainBytes)
{
    static const FuzzScratch scratch;
    CFile plain;
    CFile sealed;
    if (!plain.Open(scratch.Write("plain.pelm", plainBytes), CFile::modeRead) ||
        !sealed.Open(scratch.File("sealed.pelm"), CFile::modeCreate | CFile::modeWrite))
        std::abort();
    CEncryptedFile::Seal(plain, sealed, *CSealKey::Derive(CSecureBytes(kFuzzPassword), {1, 8192}));
    sealed.Close();
    return NoteBookBytes::Load(scratch.File("sealed.pelm"));
}

bool SameView(const CViewSettings& a, const CViewSettings& b)
{
    return a.m_bWordWrap == b.m_bWordWrap &&
           std::memcmp(&a.m_placement, &b.m_placement, sizeof a.m_placement) == 0 &&
           a.m_paneFirst == b.m_paneFirst && a.m_paneSecond == b.m_paneSecond &&
           std::memcmp(&a.m_font, &b.m_font, sizeof a.m_font) == 0;
}

void CheckRead(const CNoteBook& book, std::size_t size)
{
    FuzzCheck(book.GetCount() <= size / 8 + CNoteBookReader::kMissingNotesAllowed,
              "the bound on the note count");
    std::size_t bytes = 0;
    for (std::size_t i = 0; i < book.GetCount(); ++i) {
        const CNote* note = book.GetNoteAtIndex(i);
        FuzzCheck(note->GetSerial() == static_cast<std::int32_t>(i + 1), "serials 1 to N");
        bytes += note->GetTitle().size() + note->GetText().size();
    }
    // Windows-1252 takes up to three bytes a character in UTF-8; default titles are short.
    FuzzCheck(bytes <= 3 * size + 24 * book.GetCount(), "memory in proportion to the file");
}

} // namespace

bool FuzzNoteBookReader(const std::uint8_t* data, std::size_t size)
{
    static const FuzzScratch scratch;
    AnswerPromptsForFuzzing();
    const std::string input =
        scratch.Write("input.pelm", std::string_view(reinterpret_cast<const char*>(data), size));
    const std::string copy = scratch.File("copy.pelm");
    CNoteBook book;
    if (!book.ReadFile(input)) {
        FuzzCheck(book.GetCount() == 0 && book.GetPassword().empty() && !book.GetPath().HasPath(),
                  "a failed read leaves the notebook empty");
        return false;
    }
    CheckRead(book, size);
    // What was opened is checked as a plain notebook: each encrypted save would derive a key
    // at full cost.
    book.SetSecret(nullptr);

    FuzzCheck(book.WriteFile(copy), "what was read can be saved");
    CNoteBook again;
    FuzzCheck(again.ReadFile(copy), "what was saved can be read");
    FuzzCheck(SameNotes(book, again), "notes survive a save");
    FuzzCheck(book.GetPassword() == again.GetPassword(), "the password survives a save");
    FuzzCheck(book.GetEncoding() == again.GetEncoding(), "the encoding survives a save");
    FuzzCheck(SameView(book.GetViewSettings(), again.GetViewSettings()), "the view survives a save");
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
