#include "model/CNoteBook.h"
#include "model/CNoteBookWriter.h"
#include "model/CNoteFiles.h"
#include "model/CStoredBodies.h"
#include "model/CStoredNotes.h"
#include "model/CStoredStretch.h"
#include "platform/CDisposer.h"
#include "platform/CMappedFile.h"
#include "support/NoteBookBytes.h"
#include "support/PageMapped.h"
#include "support/TempDir.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Header = NoteBookBytes::Header;

// Notes of each kind a text can be stored as, and a body the writer would not make.
NoteBookBytes VariedNoteBook()
{
    Header h;
    h.count = 6;
    NoteBookBytes file;
    file.Head(h)
        .Note(1, "ascii", "plain words, long enough")
        .Note(2, "utf8", "caf\xC3\xA9 \xE2\x82\xAC at the corner")
        .Note(3, "w1252", "na\xEFve \x80 in Windows-1252")
        .Note(4, "empty", "")
        .Record(5, NoteBookBytes::Body("tail", "kept, whatever follows") + "junk after the fields")
        .Note(6, std::string(5000, 'T'), std::string(70000, 'x') + "end");
    return file;
}

// Plain bytes that lie in a body, enciphered from place on, as stored.
std::string PlainFor(const std::string& stored, std::size_t place)
{
    const std::string added = NoteBookBytes::Encipher(std::string(place + stored.size(), '\0')).substr(place);
    std::string plain(stored.size(), '\0');
    for (std::size_t j = 0; j < stored.size(); ++j)
        plain[j] = static_cast<char>(stored[j] - added[j]);
    return plain;
}

// A notebook of 6 MB for reading in parts. Among its notes: a title without a text, a body with
// bytes after its fields and one text in Windows-1252, each in a part of its own; and a long text
// across the middle that lies in the file as copies of a record of 30 bytes, so a part that begins
// inside it finds records there, which are no notes, unless it is left out. The count may differ
// from the records by a few either way, and the last record may be damaged.
struct PartedNoteBook
{
    static constexpr int kEachSide = 2000;

    explicit PartedNoteBook(int countDelta, bool damagedLast = false, bool chained = true)
    {
        // A title length at which the copies hold no terminator.
        std::string title;
        std::string copy;
        for (std::uint32_t serial = 1; copy.empty(); ++serial) {
            title = "records inside" + std::string(serial % 15, '.');
            NoteBookBytes record;
            record.Note(static_cast<std::int32_t>(serial), "fakes", "abcdefg");
            const std::string plain = PlainFor(record.bytes, 2 * 4 + title.size() + 1);
            if (plain.find('\0') == std::string::npos)
                copy = plain;
        }
        NoteBookBytes records;
        const auto record = [&](const std::string& body) {
            places.push_back(records.bytes.size());
            records.Record(static_cast<std::int32_t>(places.size()), body);
        };
        for (int i = 0; i < kEachSide; ++i)
            record(i == 1500 ? NoteBookBytes().U32(6).Raw("alone", 6).bytes
                             : NoteBookBytes::Body("n" + std::to_string(i),
                                                   std::string(1500, static_cast<char>('a' + i % 26))));
        std::string holding;
        while (holding.size() < 200000)
            holding += copy;
        record(NoteBookBytes::Body(title, chained ? holding : "no records inside"));
        for (int i = 0; i < kEachSide; ++i)
            record(i == 500    ? NoteBookBytes::Body("junk after", "its text") + "junk"
                   : i == 1800 ? NoteBookBytes::Body("m1800", "na\xEFve, in Windows-1252")
                               : NoteBookBytes::Body("m" + std::to_string(i),
                                                     "caf\xC3\xA9 " + std::string(1500, 'z')));
        if (damagedLast) {
            places.push_back(records.bytes.size());
            records.U32(0).U32(1 << 20).Raw(NoteBookBytes::Body("last", "cut short"));
        }
        Header h;
        h.count = static_cast<std::uint32_t>(static_cast<int>(places.size()) + countDelta);
        file.Head(h);
        start = file.bytes.size();
        file.Raw(records.bytes);
    }

    NoteBookBytes file;
    std::uint64_t start = 0;           // where the records begin
    std::vector<std::uint64_t> places; // of each record, from start
};

class TextsInFile : public ::testing::Test
{
protected:
    std::string Path(const std::string& name = "book.pelm") const { return dir.File(name); }
    const CNote& Note(const CNoteBook& book, std::size_t index) { return *book.GetNoteAtIndex(index); }
    // The records of a notebook file's bytes: its view settings come from the file read.
    static std::string Records(const std::string& bytes, const Header& h)
    {
        return bytes.substr(std::min(bytes.size(), NoteBookBytes().Head(h).bytes.size()));
    }
    // Another notebook's bytes under the last texts, at the same length: only the times tell.
    void WriteOverInPlace(const NoteBookBytes& file) const
    {
        NoteBookBytes rewritten = file;
        for (std::size_t i = rewritten.bytes.size() - 70000; i < rewritten.bytes.size(); ++i)
            rewritten.bytes[i] = static_cast<char>(rewritten.bytes[i] ^ 0x5A);
        rewritten.Save(Path());
    }

    TempDir dir;
    MessageBoxRecorder boxes;
};

} // namespace

TEST_F(TextsInFile, TextsAreReadWhenFirstNeededAndReadAsTheWholeReaderDid)
{
    const NoteBookBytes file = VariedNoteBook();
    file.Save(Path());
    CNoteBook book;
    ASSERT_TRUE(book.ReadFile(Path()));
    ASSERT_EQ(book.GetCount(), 6u);
    // A text as short as a string holds without a block of its own is read at once.
    for (std::size_t i = 0; i < book.GetCount(); ++i)
        EXPECT_EQ(Note(book, i).HasStoredText(), i != 3) << i;
    // The code pages are known before any text is read: they decide the notebook's.
    EXPECT_EQ(book.GetEncoding(), TextEncoding::windows1252);
    EXPECT_EQ(Note(book, 0).GetTextCodePage(), std::nullopt);
    EXPECT_EQ(Note(book, 1).GetTextCodePage(), TextEncoding::utf8);
    EXPECT_EQ(Note(book, 2).GetTextCodePage(), TextEncoding::windows1252);
    EXPECT_EQ(Note(book, 2).GetTextSize(), 23u);

    std::string scratch;
    EXPECT_EQ(Note(book, 2).ReadText(scratch), "na\xC3\xAFve \xE2\x82\xAC in Windows-1252");
    EXPECT_TRUE(Note(book, 2).HasStoredText());
    EXPECT_EQ(Note(book, 0).GetText(), "plain words, long enough");
    EXPECT_EQ(Note(book, 1).GetText(), "caf\xC3\xA9 \xE2\x82\xAC at the corner");
    EXPECT_EQ(Note(book, 2).GetText(), "na\xC3\xAFve \xE2\x82\xAC in Windows-1252");
    EXPECT_EQ(Note(book, 3).GetText(), "");
    EXPECT_EQ(Note(book, 4).GetText(), "kept, whatever follows");
    EXPECT_EQ(Note(book, 5).GetText(), std::string(70000, 'x') + "end");
    EXPECT_FALSE(Note(book, 0).HasStoredText());
    EXPECT_EQ(Note(book, 5).GetTitle(), std::string(5000, 'T'));
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(TextsInFile, TextsNeverReadGoBackToTheFileAsTheWriterWritesThem)
{
    VariedNoteBook().Save(Path());
    CNoteBook book;
    ASSERT_TRUE(book.ReadFile(Path()));
    book.GetNoteAtIndex(1)->SetTitle("renamed");
    ASSERT_TRUE(book.WriteFile(Path("copy.pelm")));
    for (std::size_t i = 0; i < book.GetCount(); ++i)
        EXPECT_EQ(Note(book, i).HasStoredText(), i != 3) << i;

    // The record with extra bytes is written as the writer makes records; the renamed note's text
    // is enciphered anew after its longer title.
    Header h;
    h.count = 6;
    NoteBookBytes expected;
    expected.Head(h)
        .Note(1, "ascii", "plain words, long enough")
        .Note(2, "renamed", "caf\xC3\xA9 \xE2\x82\xAC at the corner")
        .Note(3, "w1252", "na\xEFve \x80 in Windows-1252")
        .Note(4, "empty", "")
        .Note(5, "tail", "kept, whatever follows")
        .Note(6, std::string(5000, 'T'), std::string(70000, 'x') + "end");
    EXPECT_EQ(Records(NoteBookBytes::Load(Path("copy.pelm")), h), Records(expected.bytes, h));

    // Changing the notebook's code page rewrites the stored bytes of every string that needs it.
    book.ChangeEncoding(TextEncoding::utf8);
    ASSERT_TRUE(book.WriteFile(Path("utf8.pelm")));
    CNoteBook again;
    ASSERT_TRUE(again.ReadFile(Path("utf8.pelm")));
    EXPECT_EQ(again.GetEncoding(), TextEncoding::utf8);
    EXPECT_EQ(again.GetNoteAtIndex(2)->GetText(), "na\xC3\xAFve \xE2\x82\xAC in Windows-1252");
}

// A title is read beside its text, on whichever thread classes the text: its code page, its end
// and the notebook's code page are as when the title was read on its own. Enough notes that both
// threads take a share of them.
TEST_F(TextsInFile, TitlesReadBesideTheirTextsKeepTheirCodePagesAndEnds)
{
    constexpr int kEach = 4000;
    struct Kind
    {
        std::string stored;  // the title field as the file holds it
        std::string title;   // the title as read
        std::string written; // the title as the writer writes it back
        std::optional<TextEncoding> codePage;
        bool hasText = true;
    };
    const Kind kinds[] = {
        {std::string("caf\xE9\0", 5), "caf\xC3\xA9", "caf\xE9", TextEncoding::windows1252},
        {std::string("cut\0after\0", 10), "cut", "cut", std::nullopt},
        {std::string("\xE2\x82\xAC sign\0", 9), "\xE2\x82\xAC sign", "\xE2\x82\xAC sign", TextEncoding::utf8},
        {std::string(1, '\0'), "", "", std::nullopt},
        {std::string("alone\0", 6), "alone", "alone", std::nullopt, false},
    };
    Header h;
    h.count = kEach * 5;
    NoteBookBytes file;
    NoteBookBytes expected;
    file.Head(h);
    expected.Head(h);
    for (int i = 0; i < kEach * 5; ++i) {
        const Kind& kind = kinds[i % 5];
        const std::string text = kind.hasText ? "the text of note " + std::to_string(i) : "";
        NoteBookBytes body;
        body.U32(static_cast<std::uint32_t>(kind.stored.size())).Raw(kind.stored);
        if (kind.hasText)
            body.U32(static_cast<std::uint32_t>(text.size() + 1)).Raw(text.c_str(), text.size() + 1);
        file.Record(i + 1, body.bytes);
        expected.Note(i + 1, kind.written, text);
    }
    file.Save(Path());
    CNoteBook book;
    ASSERT_TRUE(book.ReadFile(Path()));
    ASSERT_EQ(book.GetCount(), kEach * 5u);
    EXPECT_EQ(book.GetEncoding(), TextEncoding::windows1252);
    for (std::size_t i = 0; i < book.GetCount(); ++i) {
        ASSERT_EQ(Note(book, i).GetTitle(), kinds[i % 5].title) << i;
        ASSERT_EQ(Note(book, i).GetTitleCodePage(), kinds[i % 5].codePage) << i;
    }

    // Each title goes back in its own code page; the one cut short is written as the writer makes
    // titles, without what followed its end, though its text was never read.
    ASSERT_TRUE(Note(book, 1).HasStoredText());
    ASSERT_TRUE(book.WriteFile(Path("copy.pelm")));
    EXPECT_TRUE(Records(NoteBookBytes::Load(Path("copy.pelm")), h) == Records(expected.bytes, h));
}

// However many parts a notebook is read in, the notes, their serial numbers, code pages and stored
// records, the notebook's code page and whether the file held its count are those of one walk; a
// record damaged far into the file fails the open in any part, and nothing is left waiting.
TEST_F(TextsInFile, ANotebookReadInPartsReadsAsOneWalkReadsIt)
{
    // Without the long text only the late Windows-1252 text, read aside, tells the notebook's code page.
    struct Case
    {
        int countDelta;
        bool opens;
        bool chained;
    };
    const Case cases[] = {{3, true, true}, {-2, true, false}, {0, false, true}};
    struct PartsBack
    {
        ~PartsBack() { CStoredNotes::SetParts(0); }
    } partsBack;
    for (const Case& c : cases) {
        const PartedNoteBook parted(c.countDelta, !c.opens, c.chained);
        parted.file.Save(Path());
        CStoredNotes::SetParts(1);
        CNoteBook walked;
        ASSERT_EQ(walked.ReadFile(Path()), c.opens);
        if (c.opens) {
            ASSERT_TRUE(walked.WriteFile(Path("walked.pelm")));
        }
        for (const unsigned parts : {2u, 3u, 5u}) {
            SCOPED_TRACE(std::to_string(c.countDelta) + " " + std::to_string(parts));
            CStoredNotes::SetParts(parts);
            boxes.boxes.clear();
            CNoteBook book;
            ASSERT_EQ(book.ReadFile(Path()), c.opens);
            if (!c.opens) {
                // Nothing is left waiting: the notebook opens the next file.
                ASSERT_EQ(boxes.boxes.size(), 1u);
                EXPECT_EQ(boxes.boxes[0].text, kCannotRead);
                VariedNoteBook().Save(Path("good.pelm"));
                ASSERT_TRUE(book.ReadFile(Path("good.pelm")));
                EXPECT_EQ(book.GetCount(), 6u);
                continue;
            }
            ASSERT_EQ(book.GetCount(), walked.GetCount());
            EXPECT_EQ(book.GetEncoding(), TextEncoding::windows1252);
            EXPECT_EQ(book.WasFilledOut(), c.countDelta != 0);
            for (std::size_t i = 0; i < book.GetCount(); ++i) {
                ASSERT_EQ(Note(book, i).GetSerial(), static_cast<std::int32_t>(i + 1)) << i;
                ASSERT_EQ(Note(book, i).GetTitle(), Note(walked, i).GetTitle()) << i;
                ASSERT_EQ(Note(book, i).GetTextCodePage(), Note(walked, i).GetTextCodePage()) << i;
                ASSERT_EQ(Note(book, i).HasStoredText(), Note(walked, i).HasStoredText()) << i;
            }
            const std::size_t last = book.GetCount() - 1;
            EXPECT_EQ(Note(book, last).GetTitle(),
                      c.countDelta > 0 ? "New Note " + std::to_string(last + 1) : "m1997");
            ASSERT_TRUE(book.WriteFile(Path("parts.pelm")));
            EXPECT_TRUE(NoteBookBytes::Load(Path("parts.pelm")) == NoteBookBytes::Load(Path("walked.pelm")));
        }
    }
}

// A part finds the first record at or after its start from which a few read as the writer writes
// them, reads on as the walk would, and stops before a record the walk must read itself. Inside a
// text that lies in the file as records it finds those: the walk never lands on them.
TEST_F(TextsInFile, APartBeginsAtTheFirstRecordsItFindsAndStopsWhereTheWalkMustGoOn)
{
    const PartedNoteBook parted(0);
    parted.file.Save(Path());
    const int fd = ::open(Path().c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    const std::shared_ptr<CMappedFile> mapped = CMappedFile::Map(fd);
    ::close(fd);
    ASSERT_TRUE(mapped);
    const auto at = [&](std::size_t record) { return parted.start + parted.places[record]; };
    const auto read = [&](std::uint64_t from, std::uint64_t to, bool hashes) {
        auto stretch = std::make_unique<CStoredStretch>(*mapped, from, to, hashes);
        EXPECT_TRUE(stretch->Claim());
        stretch->ReadAside(nullptr);
        return stretch;
    };

    // From inside a record to the title without a text.
    const auto early = read(at(1000) + 7, at(1700), false);
    EXPECT_EQ(early->First(), at(1001));
    ASSERT_EQ(early->GetCount(), 499u);
    EXPECT_EQ(early->GetEnd(498), at(1500));
    EXPECT_EQ(early->Find(at(1200)), 199u);
    EXPECT_FALSE(early->FoundWindows1252From(0));

    // Inside the long text.
    const auto inside = read(at(2000) + 100000, at(2001), false);
    ASSERT_TRUE(inside->First());
    EXPECT_GT(*inside->First(), at(2000) + 100000);
    EXPECT_GT(inside->GetCount(), 1000u);
    EXPECT_TRUE(inside->EndsBefore(at(2001)));

    // To the body with bytes after its fields; and from a record's start to the end of the file.
    EXPECT_EQ(read(at(2400), at(2600), false)->GetCount(), 101u);
    const auto late = read(at(2600), parted.file.bytes.size(), true);
    EXPECT_EQ(late->First(), at(2600));
    ASSERT_EQ(late->GetCount(), 1401u);
    EXPECT_EQ(late->GetEnd(1400), parted.file.bytes.size());
    EXPECT_TRUE(late->FoundWindows1252From(1201));
    EXPECT_FALSE(late->FoundWindows1252From(1202));
    EXPECT_EQ(late->GetHash(0).body, at(2600) + 8);
    EXPECT_EQ(late->GetHash(0).hash.a, TextHash::Of("caf\xC3\xA9 " + std::string(1500, 'z')).a);
}

TEST_F(TextsInFile, AFileReplacedByARenameKeepsTheTextsItHad)
{
    VariedNoteBook().Save(Path());
    CNoteBook book;
    ASSERT_TRUE(book.ReadFile(Path()));
    NoteBookBytes other;
    Header h;
    h.count = 1;
    other.Head(h).Note(1, "other", "other text");
    other.Save(Path("other.pelm"));
    std::filesystem::rename(Path("other.pelm"), Path());

    EXPECT_TRUE(book.StoredTextsIntact());
    EXPECT_EQ(Note(book, 0).GetText(), "plain words, long enough");
    EXPECT_EQ(book.FindLostText(), nullptr);
    ASSERT_TRUE(book.WriteFile(Path()));
    CNoteBook saved;
    ASSERT_TRUE(saved.ReadFile(Path()));
    ASSERT_EQ(saved.GetCount(), 6u);
    EXPECT_EQ(saved.GetNoteAtIndex(5)->GetText(), std::string(70000, 'x') + "end");
}

// Written in place, with the same length: the bytes under the texts are another notebook's.
TEST_F(TextsInFile, AFileWrittenInPlaceLosesTheTextsNotReadAndNothingIsWrittenOverThem)
{
    const NoteBookBytes file = VariedNoteBook();
    file.Save(Path());
    CNoteBook book;
    ASSERT_TRUE(book.ReadFile(Path()));
    EXPECT_EQ(Note(book, 0).GetText(), "plain words, long enough");

    WriteOverInPlace(file);

    EXPECT_FALSE(book.StoredTextsIntact());
    // Never garbage: the text read before stays, the ones not read are gone and said to be.
    EXPECT_EQ(Note(book, 0).GetText(), "plain words, long enough");
    EXPECT_EQ(Note(book, 5).GetText(), "");
    EXPECT_TRUE(Note(book, 5).IsTextLost());
    EXPECT_NE(book.FindLostText(), nullptr);
    EXPECT_FALSE(book.WriteFile(Path("copy.pelm")));
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].text.rfind(kCannotWrite, 0), 0u);
    EXPECT_NE(boxes.boxes[0].text.find("Another program changed"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(Path("copy.pelm")));

    // A text the user gives the note is the note's again.
    book.GetNoteAtIndex(5)->SetText("typed again");
    EXPECT_FALSE(Note(book, 5).IsTextLost());
}

TEST_F(TextsInFile, AFileCutShortUnderTheNotebookReadsAsLostInsteadOfEndingTheProcess)
{
    Header h;
    h.count = 2;
    NoteBookBytes file;
    file.Head(h).Note(1, "copied", std::string(70000, 'x')).Note(2, "mapped", std::string(300 * 1024, 'L'));
    file.Save(Path("a.pelm"));
    file.Save(Path("b.pelm"));
    CNoteBook copied;
    CNoteBook mapped;
    ASSERT_TRUE(copied.ReadFile(Path("a.pelm")));
    ASSERT_TRUE(mapped.ReadFile(Path("b.pelm")));
    ASSERT_EQ(::truncate(Path("a.pelm").c_str(), 100), 0);
    ASSERT_EQ(::truncate(Path("b.pelm").c_str(), 100), 0);

    // Nothing asks the system first: the read itself comes up short. A thread of its own has copied
    // nothing of the file before.
    std::string read = "unread";
    std::thread([&] {
        std::string scratch;
        read = std::string(Note(copied, 0).ReadText(scratch));
    }).join();
    EXPECT_EQ(read, "");
    EXPECT_FALSE(copied.StoredTextsIntact());

    // A text longer than the window meets the mapping's pages past the new end.
    std::string scratch;
    EXPECT_EQ(Note(mapped, 1).ReadText(scratch), "");
    EXPECT_FALSE(mapped.StoredTextsIntact());
    EXPECT_EQ(Note(mapped, 1).GetText(), "");
    EXPECT_TRUE(Note(mapped, 1).IsTextLost());
}

TEST_F(TextsInFile, ThreadsAskingForOneTextAtOnceGetItWhole)
{
    VariedNoteBook().Save(Path());
    for (int round = 0; round < 20; ++round) {
        CNoteBook book;
        ASSERT_TRUE(book.ReadFile(Path()));
        const CNote& note = Note(book, 5);
        std::vector<std::thread> readers;
        std::vector<std::size_t> sizes(4);
        for (std::size_t t = 0; t < sizes.size(); ++t)
            readers.emplace_back([&, t] { sizes[t] = note.GetText().size(); });
        for (std::thread& reader : readers)
            reader.join();
        for (std::size_t size : sizes)
            EXPECT_EQ(size, 70003u);
    }
}

// Each save moves the file read aside into the backups, which changes its inode's time.
TEST_F(TextsInFile, ANotebookSavedOverItsFileAgainAndAgainKeepsItsTexts)
{
    VariedNoteBook().Save(Path());
    CNoteBook book;
    ASSERT_TRUE(book.ReadFile(Path()));
    for (int save = 0; save < 3; ++save) {
        book.SetModified();
        ASSERT_TRUE(book.WriteFile(Path(), dir.File("backups")))
            << save << (boxes.boxes.empty() ? "" : boxes.boxes[0].text);
    }
    EXPECT_TRUE(book.StoredTextsIntact());
    CNoteBook saved;
    ASSERT_TRUE(saved.ReadFile(Path()));
    EXPECT_EQ(saved.GetNoteAtIndex(5)->GetText(), std::string(70000, 'x') + "end");
}

// Past the mappings the process guards, a notebook is read whole, as a file that cannot be mapped is.
TEST_F(TextsInFile, ANotebookBeyondTheGuardedMappingsIsReadWholeAndReadsTheSame)
{
    VariedNoteBook().Save(Path());
    // Notebooks closed before give their mappings back on the disposer's thread.
    CDisposer::WaitIdle();
    std::vector<std::unique_ptr<CNoteBook>> open;
    for (int i = 0; i < 70; ++i) {
        open.push_back(std::make_unique<CNoteBook>());
        ASSERT_TRUE(open.back()->ReadFile(Path()));
    }
    const CNoteBook& mapped = *open.front();
    const CNoteBook& whole = *open.back();
    EXPECT_TRUE(mapped.GetNoteAtIndex(5)->HasStoredText());
    EXPECT_FALSE(whole.GetNoteAtIndex(5)->HasStoredText());
    EXPECT_EQ(whole.GetEncoding(), mapped.GetEncoding());
    for (std::size_t i = 0; i < whole.GetCount(); ++i) {
        EXPECT_EQ(whole.GetNoteAtIndex(i)->GetTitle(), mapped.GetNoteAtIndex(i)->GetTitle());
        EXPECT_EQ(whole.GetNoteAtIndex(i)->GetText(), mapped.GetNoteAtIndex(i)->GetText());
        EXPECT_EQ(whole.GetNoteAtIndex(i)->GetTextCodePage(), mapped.GetNoteAtIndex(i)->GetTextCodePage());
    }
    ASSERT_TRUE(open.back()->WriteFile(Path("whole.pelm")));
    ASSERT_TRUE(open.front()->WriteFile(Path("mapped.pelm")));
    EXPECT_EQ(NoteBookBytes::Load(Path("whole.pelm")), NoteBookBytes::Load(Path("mapped.pelm")));
}

// Reading every text, as a search or a save does, leaves no more than a few dozen megabytes of the
// file in this process's memory: texts up to the window are copied, and a longer text read leaves
// none of its pages.
TEST_F(TextsInFile, APassOverEveryTextLeavesLittleOfTheFileMapped)
{
    Header h;
    h.count = 412;
    NoteBookBytes file;
    file.Head(h);
    for (int i = 0; i < 400; ++i)
        file.Note(i + 1, "note " + std::to_string(i),
                  std::string(200 * 1024, static_cast<char>('a' + i % 26)));
    for (int i = 400; i < 412; ++i)
        file.Note(i + 1, "long " + std::to_string(i), std::string(4 << 20, static_cast<char>('A' + i % 26)));
    file.Save(Path());
    CNoteBook book;
    ASSERT_TRUE(book.ReadFile(Path()));
    const std::string path = std::filesystem::canonical(Path()).string();
    EXPECT_LT(MappedKiB(path), 40 * 1024) << "the open classes every text";

    std::string scratch;
    std::size_t read = 0;
    for (std::size_t i = 0; i < 400; ++i)
        read += book.GetNoteAtIndex(i)->ReadText(scratch).size();
    EXPECT_EQ(read, 400u * 200 * 1024);
    EXPECT_LT(MappedKiB(path), 40 * 1024);

    const long before = MappedKiB(path);
    EXPECT_EQ(book.GetNoteAtIndex(400)->GetText().size(), 4u << 20);
    EXPECT_LE(MappedKiB(path), before + 8);

    // A save copies the long records whole from the mapping.
    ASSERT_TRUE(book.WriteFile(Path("copy.pelm")));
    EXPECT_LT(MappedKiB(path), 40 * 1024) << "the save";
}

// The notes of a large notebook are read into one block of memory between them. Each is deleted,
// sorted and saved as any other, notes added beside them are apart from them, and the block goes
// back to the system with the notebook.
TEST_F(TextsInFile, ManyNotesReadTogetherLiveAndLeaveAsAnyOthers)
{
    constexpr int kNotes = 20000;
    {
        CNoteBook written;
        for (int i = 0; i < kNotes; ++i) {
            CNote* note = written.AddNote(true, false);
            note->SetTitle("a title long enough for the heap " + std::to_string(kNotes - i));
            note->SetText("text " + std::to_string(i));
        }
        ASSERT_TRUE(written.WriteFile(Path()));
    }
    CNoteBook book;
    ASSERT_TRUE(book.ReadFile(Path()));
    ASSERT_EQ(book.GetCount(), static_cast<std::size_t>(kNotes));
    const CNote* first = book.GetNoteAtIndex(0);
    for (int i = kNotes; i-- > 0;)
        if (i % 7 == 3)
            book.RemoveNote(book.GetNoteAtIndex(static_cast<std::size_t>(i))->GetSerial());
    CNote* added = book.AddNote(true, false);
    added->SetTitle("a title long enough for the heap 0");
    added->SetText("added");
    book.SortByTitle();
    ASSERT_TRUE(book.WriteFile(Path("again.pelm")));

    CNoteBook again;
    ASSERT_TRUE(again.ReadFile(Path("again.pelm")));
    std::vector<std::pair<std::string, std::string>> expected;
    for (int i = 0; i < kNotes; ++i)
        if (i % 7 != 3)
            expected.emplace_back("a title long enough for the heap " + std::to_string(kNotes - i),
                                  "text " + std::to_string(i));
    expected.emplace_back("a title long enough for the heap 0", "added");
    std::stable_sort(expected.begin(), expected.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    ASSERT_EQ(again.GetCount(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        ASSERT_EQ(again.GetNoteAtIndex(i)->GetTitle(), expected[i].first) << i;
        ASSERT_EQ(again.GetNoteAtIndex(i)->GetText(), expected[i].second) << i;
    }

    EXPECT_TRUE(PageMapped(first));
    book.Clear();
    CDisposer::WaitIdle();
    EXPECT_FALSE(PageMapped(first)) << "the notes' block went back with the notebook";
}

// After Save As the texts not yet read are read from the file just written: the old file may be
// written over in place or removed, its mapping is gone, and every text reads as it did, the
// records written anew (a new title, a body with bytes after its fields) included.
TEST_F(TextsInFile, AfterSaveAsTheTextsAreReadFromTheNewFileAndTheOldOneMayChange)
{
    const NoteBookBytes file = VariedNoteBook();
    file.Save(Path());
    CNoteBook book;
    ASSERT_TRUE(book.ReadFile(Path()));
    book.GetNoteAtIndex(1)->SetTitle("renamed \xC3\xA9");
    std::vector<std::string> texts;
    {
        CNoteBook whole;
        ASSERT_TRUE(whole.ReadFile(Path()));
        for (std::size_t i = 0; i < whole.GetCount(); ++i)
            texts.push_back(whole.GetNoteAtIndex(i)->GetText());
    }
    ASSERT_TRUE(book.WriteFile(Path("new.pelm")));
    const std::string old = std::filesystem::canonical(Path()).string();
    EXPECT_EQ(MappedKiB(old), 0) << "the old file's mapping went";

    std::string garbage = file.bytes;
    for (std::size_t i = 128; i < garbage.size(); ++i)
        garbage[i] = static_cast<char>(garbage[i] ^ 0x5A);
    std::fstream(Path(), std::ios::in | std::ios::out | std::ios::binary)
        .write(garbage.data(), static_cast<std::streamsize>(garbage.size()));
    for (std::size_t i = 0; i < book.GetCount(); ++i) {
        EXPECT_EQ(Note(book, i).HasStoredText(), i != 3) << i;
        std::string scratch;
        EXPECT_EQ(Note(book, i).ReadText(scratch), texts[i]) << i;
    }
    EXPECT_TRUE(book.StoredTextsIntact());
    EXPECT_EQ(book.FindLostText(), nullptr);

    ASSERT_TRUE(book.WriteFile(Path("third.pelm")));
    std::filesystem::remove(Path("new.pelm"));
    CNoteBook third;
    ASSERT_TRUE(third.ReadFile(Path("third.pelm")));
    for (std::size_t i = 0; i < third.GetCount(); ++i)
        EXPECT_EQ(third.GetNoteAtIndex(i)->GetText(), texts[i]) << i;
    EXPECT_EQ(third.GetNoteAtIndex(1)->GetTitle(), "renamed \xC3\xA9");

    // Saved over its own file, the notebook keeps its texts in the file replaced, which no other
    // program writes in place under the notebook's name.
    ASSERT_TRUE(book.WriteFile(Path("third.pelm")));
    std::string over = NoteBookBytes::Load(Path("third.pelm"));
    for (std::size_t i = 128; i < over.size(); ++i)
        over[i] = static_cast<char>(over[i] ^ 0x5A);
    std::fstream(Path("third.pelm"), std::ios::in | std::ios::out | std::ios::binary)
        .write(over.data(), static_cast<std::streamsize>(over.size()));
    for (std::size_t i = 0; i < book.GetCount(); ++i)
        EXPECT_EQ(Note(book, i).GetText(), texts[i]) << i;

    // A notebook none of whose texts stayed in its file leaves the old file behind altogether.
    Header two;
    two.count = 2;
    NoteBookBytes shortTexts;
    shortTexts.Head(two).Note(1, "a", "short").Note(2, "b", "tiny");
    shortTexts.Save(Path("short.pelm"));
    CNoteBook small;
    ASSERT_TRUE(small.ReadFile(Path("short.pelm")));
    ASSERT_TRUE(small.WriteFile(Path("short-2.pelm")));
    NoteBookBytes().Head(two).Note(1, "x", "written over").Note(2, "y", "in place").Save(Path("short.pelm"));
    EXPECT_TRUE(small.StoredTextsIntact());
    EXPECT_TRUE(small.WriteFile(Path("short-2.pelm")));
    EXPECT_TRUE(boxes.boxes.empty());
}

// A sorted notebook's texts lie anywhere in its file: the save reads the bodies of a run of the list
// in the file's order, in steps of any size, and writes what a notebook read whole and sorted the
// same way writes, without mapping the file. A changed note, one in another code page than the
// save's and one too long for a run are written by the note itself.
TEST_F(TextsInFile, ASortedNotebookIsSavedInStepsFromBodiesReadInTheFilesOrderAsTheWholeReaderWouldSaveIt)
{
    std::mt19937 rng(3);
    Header h;
    h.count = 3002;
    NoteBookBytes file;
    file.Head(h);
    for (int i = 0; i < 3000; ++i)
        file.Note(i + 1, "title " + std::to_string(rng() % 100000),
                  std::string(700 + rng() % 900, static_cast<char>('a' + rng() % 26)) + std::to_string(i));
    file.Note(3001, "title long", std::string((1 << 20) + 5, 'L'));
    file.Note(3002, "title w1252", "na\xEFve \x80");
    file.Save(Path());

    CNoteBook stored;
    ASSERT_TRUE(stored.ReadFile(Path()));
    CNoteBook whole;
    ASSERT_TRUE(whole.ReadFile(Path()));
    for (CNoteBook* book : {&stored, &whole}) {
        book->GetNoteAtIndex(17)->SetText("changed");
        book->SortByTitle();
    }
    for (std::size_t i = 0; i < whole.GetCount(); ++i)
        ASSERT_FALSE(whole.GetNoteAtIndex(i)->GetText().empty());
    ASSERT_TRUE(stored.GetNoteAtIndex(0)->HasStoredText());
    stored.ChangeEncoding(TextEncoding::utf8);
    whole.ChangeEncoding(TextEncoding::utf8);

    // Runs of a small budget hold the file's bytes of each body, and at least one note each.
    CStoredBodies bodies(16 * 1024);
    std::size_t runs = 0;
    for (std::size_t i = 0; i < stored.GetCount(); ++runs) {
        const std::size_t end = bodies.Read(stored, i, stored.GetCount());
        ASSERT_GT(end, i);
        for (; i < end; ++i) {
            const CNote& note = *stored.GetNoteAtIndex(i);
            const std::uint8_t* body = bodies.Find(i);
            ASSERT_EQ(body != nullptr, note.HasStoredText() && note.GetTitle() != "title long" &&
                                           note.GetTitle() != "title w1252")
                << note.GetTitle();
            if (body) {
                ASSERT_EQ(std::string(reinterpret_cast<const char*>(body), note.GetStoredText().bodyLength),
                          file.bytes.substr(note.GetStoredText().body, note.GetStoredText().bodyLength));
            }
        }
        EXPECT_EQ(bodies.Find(end), nullptr);
    }
    EXPECT_GT(runs, 100u);
    CNoteBookWriter writer(stored);
    ASSERT_TRUE(writer.Begin(Path("stored.pelm")));
    bool done = false;
    std::size_t steps = 0;
    for (; !done; ++steps)
        ASSERT_TRUE(writer.Step(7, UINT64_MAX, done));
    EXPECT_EQ(writer.GetWritten(), stored.GetCount());
    EXPECT_EQ(steps, (stored.GetCount() + 6) / 7);
    ASSERT_TRUE(writer.Finish());
    ASSERT_TRUE(whole.WriteFile(Path("whole.pelm")));
    EXPECT_EQ(NoteBookBytes::Load(Path("stored.pelm")), NoteBookBytes::Load(Path("whole.pelm")));
    ASSERT_NE(stored.GetStoredFile(), nullptr);
    EXPECT_LT(MappedKiB(std::filesystem::canonical(Path()).string()), 1024);
}

// An export reads each text without keeping it. When another program has written the file in
// place, the export stops at the first text that is gone instead of writing it empty.
TEST_F(TextsInFile, AnExportKeepsNoTextAndRefusesTextsThatAreGone)
{
    const NoteBookBytes file = VariedNoteBook();
    file.Save(Path());
    CNoteBook book;
    ASSERT_TRUE(book.ReadFile(Path()));
    std::string error;
    ASSERT_TRUE(CNoteFiles::WriteFolder(CNoteFiles::AllNotes(book), Path("out"), error)) << error;
    EXPECT_EQ(NoteBookBytes::Load(Path("out/1 ascii.txt")), "plain words, long enough");
    EXPECT_EQ(NoteBookBytes::Load(Path("out/6 " + std::string(5000, 'T').substr(0, 120) + ".txt")).size(),
              70003u);
    for (std::size_t i = 0; i < book.GetCount(); ++i)
        EXPECT_EQ(Note(book, i).HasStoredText(), i != 3) << "read, not kept: " << i;

    WriteOverInPlace(file);
    EXPECT_FALSE(CNoteFiles::WriteFolder(CNoteFiles::AllNotes(book), Path("again"), error));
    EXPECT_NE(error.find("another program changed"), std::string::npos) << error;
    EXPECT_FALSE(CNoteFiles::WriteMarkdown(CNoteFiles::AllNotes(book), Path("again.md"), error));
    EXPECT_NE(error.find("another program changed"), std::string::npos) << error;

    // A text that was loaded and found gone is refused by name.
    EXPECT_TRUE(book.GetNoteAtIndex(5)->GetText().empty());
    ASSERT_TRUE(Note(book, 5).IsTextLost());
    const std::vector<const CNote*> lost = {book.GetNoteAtIndex(5)};
    EXPECT_FALSE(CNoteFiles::WriteMarkdown(lost, Path("lost.md"), error));
    EXPECT_NE(error.find("is gone"), std::string::npos) << error;
}
