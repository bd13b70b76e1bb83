#include "model/CNoteBook.h"
#include "model/CNoteBookReader.h"
#include "support/FakeNoteBookFrame.h"
#include "support/NoteBookBytes.h"
#include "support/PasswordAnswer.h"
#include "support/TempDir.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sys/stat.h>

namespace {

constexpr unsigned kStyle = 48;
const char* const kCannotOpen = "ERROR: Could not read specified file.";
const char* const kCannotRead = "ERROR: Could not read file.";
const char* const kIncompatible = "ERROR: NoteBook version is not compatible with this version of Pelmora.";

using Header = NoteBookBytes::Header;

std::vector<std::string> Titles(const CNoteBook& book)
{
    std::vector<std::string> titles;
    for (NotePosition pos = book.GetNextPosition(0); pos != 0; pos = book.GetNextPosition(pos))
        titles.push_back(book.GetNoteAt(pos)->GetTitle());
    return titles;
}

// The one box a failed read shows, and the empty notebook it leaves.
void ExpectFailedRead(const CNoteBook& book, const MessageBoxRecorder& boxes, const char* message)
{
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].text, message);
    EXPECT_EQ(boxes.boxes[0].style, kStyle);
    EXPECT_EQ(book.GetCount(), 0u);
    EXPECT_TRUE(book.GetPassword().empty());
    EXPECT_FALSE(book.GetPath().HasPath());
}

class NoteBookFile : public ::testing::Test
{
protected:
    std::string Path(const std::string& name = "book.pelm") const { return dir.File(name); }

    TempDir dir;
    MessageBoxRecorder boxes;
};

} // namespace

TEST_F(NoteBookFile, EmptyNotebookIsTheBareHeaderAndAnEmptyNoteTakes18Bytes)
{
    CNoteBook book;
    ASSERT_TRUE(book.WriteFile(Path()));
    NoteBookBytes expected;
    expected.Head(Header{});
    EXPECT_EQ(NoteBookBytes::Load(Path()), expected.bytes);
    EXPECT_EQ(expected.bytes.size(), 128u);

    book.AddNote(true, true)->SetTitle("");
    ASSERT_TRUE(book.WriteFile(Path()));
    Header one;
    one.count = 1;
    NoteBookBytes withNote;
    withNote.Head(one).Note(1, "", "");
    const std::string written = NoteBookBytes::Load(Path());
    EXPECT_EQ(written, withNote.bytes);
    EXPECT_EQ(written.size(), 128u + 18u);
    EXPECT_EQ(written.substr(132, 4), std::string("\x0A\0\0\0", 4)) << "L = 10";
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(NoteBookFile, WriterProducesTheLayoutWithPasswordBlockAndRecords)
{
    CNoteBook book;
    book.SetPassword("secret");
    CViewSettings& view = book.GetViewSettings();
    view.m_bWordWrap = true;
    view.m_placement = {44, 2, SW_SHOWMAXIMIZED, -1, -1, -8, -8, 10, 20, 810, 620};
    view.m_paneFirst = 9000;
    view.m_paneSecond = 23000;
    FillLogFont(view.m_font, "Tahoma", -19, 700);
    book.AddNote(true, true)->SetTitle("Groceries");
    book.GetNoteAt(1)->SetText("milk\r\nbread");
    book.AddNote(true, true)->SetText("second");
    ASSERT_TRUE(book.WriteFile(Path()));
    EXPECT_FALSE(book.IsModified());
    EXPECT_EQ(book.GetPath().GetPath(), Path());

    Header h;
    h.count = 2;
    h.passwordLength = 6;
    h.viewFlags = 1;
    h.placement = view.m_placement;
    h.paneFirst = 9000;
    h.paneSecond = 23000;
    h.font = view.m_font;
    NoteBookBytes expected;
    expected.Head(h).Password("secret").Note(1, "Groceries", "milk\r\nbread").Note(2, "New Note 2", "second");
    const std::string written = NoteBookBytes::Load(Path());
    EXPECT_EQ(written, expected.bytes);
    EXPECT_EQ(written.size(), 128u + 7u + (8 + 8 + 10 + 12) + (8 + 8 + 11 + 7));
}

TEST_F(NoteBookFile, OlderHeaderLayoutsAreReadAndAppliedInOrder)
{
    struct Case
    {
        std::uint32_t version;
        std::vector<std::string> calls;
    };
    const std::vector<Case> cases = {
        {5, {"SetBold 1", "SetNoteFont Arial", "SetWordWrap 0", "UpdateTitle"}},
        {6, {"SetBold 1", "SetNoteFont Arial", "SetWordWrap 1", "UpdateTitle"}},
        {7, {"SetBold 1", "SetNoteFont Arial", "SetWordWrap 1", "SetWindowPlacement 30 500", "UpdateTitle"}},
        {8,
         {"SetBold 1", "SetNoteFont Arial", "SetWordWrap 1", "SetWindowPlacement 30 500",
          "SetPaneShares 100 200", "UpdateTitle"}},
        {10,
         {"SetBold 1", "SetNoteFont Arial", "SetWordWrap 1", "SetWindowPlacement 30 500",
          "SetPaneShares 100 200", "UpdateTitle"}},
        {11,
         {"SetBold 1", "SetNoteFont Arial", "SetWordWrap 1", "SetWindowPlacement 30 500",
          "SetPaneShares 100 200", "UpdateTitle"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("version " + std::to_string(c.version));
        Header h;
        h.version = c.version;
        h.count = 2;
        h.viewFlags = 0xFFFFFFFF; // only bit 0 counts
        h.placement = {44, 0, SW_SHOWNORMAL, 0, 0, 0, 0, 30, 40, 700, 500};
        h.paneFirst = 100;
        h.paneSecond = 200;
        FillLogFont(h.font, "Arial", 20, 700);
        NoteBookBytes file;
        file.Head(h).Note(40, "first", "one").Note(40, "second", "two");
        file.Save(Path());

        FakeNoteBookFrame frame;
        CNoteBook book;
        ASSERT_TRUE(book.ReadFile(Path()));
        EXPECT_EQ(frame.calls, c.calls);
        EXPECT_EQ(Titles(book), (std::vector<std::string>{"first", "second"}));
        EXPECT_EQ(book.GetNoteAt(2)->GetText(), "two");
        EXPECT_EQ(book.GetFileVersion(), c.version);
        EXPECT_FALSE(book.IsModified());
    }
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(NoteBookFile, OnlyWeight700IsBoldAndAnEmptyPlacementIsNotApplied)
{
    for (int weight : {600, 700, 800}) {
        Header h;
        h.font.lfWeight = weight;
        h.placement = {0, 0, SW_SHOWMAXIMIZED, 1, 2, 3, 4, 5, 6, 7, 8}; // length 0: none stored
        NoteBookBytes file;
        file.Head(h).Save(Path());
        FakeNoteBookFrame frame;
        CNoteBook book;
        ASSERT_TRUE(book.ReadFile(Path()));
        EXPECT_EQ(frame.calls,
                  (std::vector<std::string>{weight == 700 ? "SetBold 1" : "SetBold 0", "SetNoteFont Verdana",
                                            "SetWordWrap 0", "SetPaneShares 0 0", "UpdateTitle"}));
    }
}

TEST_F(NoteBookFile, WithAFrameTheWriterTakesTheViewFromIt)
{
    FakeNoteBookFrame frame;
    frame.wordWrap = true;
    frame.placement = {44, 0, SW_SHOWNORMAL, 0, 0, 0, 0, 1, 2, 3, 4};
    frame.hasTwoPanes = false; // the panes stay at their pre-set 0
    frame.paneFirst = 555;
    FillLogFont(frame.font, "Courier New", 18);
    CNoteBook book;
    book.GetViewSettings().m_paneFirst = 777; // ignored while there is a frame
    ASSERT_TRUE(book.WriteFile(Path()));
    EXPECT_EQ(frame.calls, (std::vector<std::string>{"UpdateTitle"}));

    Header h;
    h.viewFlags = 1;
    h.placement = frame.placement;
    h.font = frame.font;
    NoteBookBytes expected;
    expected.Head(h);
    EXPECT_EQ(NoteBookBytes::Load(Path()), expected.bytes);
}

TEST_F(NoteBookFile, WithoutAFrameAReadAndWriteLosesNothingAndSerialsRestart)
{
    Header h;
    h.count = 3;
    h.viewFlags = 1;
    h.placement = {44, 1, SW_SHOWMINIMIZED, -32000, -32000, -1, -1, 50, 60, 1000, 700};
    h.paneFirst = -5;
    h.paneSecond = 40000;
    h.font.lfItalic = 1;
    h.font.lfQuality = 5;
    std::memcpy(h.font.lfFaceName + 10, "junk", 4); // bytes after the name survive
    NoteBookBytes stored;
    stored.Head(h).Note(77, "a", "x").Note(77, "b", "").Note(-5, "", "z");
    stored.Save(Path());

    CNoteBook book;
    ASSERT_TRUE(book.ReadFile(Path()));
    ASSERT_EQ(book.GetCount(), 3u);
    for (std::int32_t serial = 1; serial <= 3; ++serial)
        EXPECT_EQ(book.GetNoteAt(static_cast<NotePosition>(serial))->GetSerial(), serial);
    EXPECT_EQ(book.GetNoteAt(3)->GetTitle(), "") << "a stored empty title stays empty";
    EXPECT_TRUE(book.GetViewSettings().m_bWordWrap);
    EXPECT_EQ(book.GetViewSettings().m_paneSecond, 40000);

    ASSERT_TRUE(book.WriteFile(Path("copy.pelm")));
    NoteBookBytes renumbered;
    renumbered.Head(h).Note(1, "a", "x").Note(2, "b", "").Note(3, "", "z");
    EXPECT_EQ(NoteBookBytes::Load(Path("copy.pelm")), renumbered.bytes);
}

TEST_F(NoteBookFile, PasswordGatesTheRead)
{
    Header h;
    h.count = 1;
    h.passwordLength = 6;
    NoteBookBytes file;
    file.Head(h).Password("Secret").Note(1, "t", "x");
    file.Save(Path());

    {
        PasswordAnswer answer("Secret");
        CNoteBook book;
        ASSERT_TRUE(book.ReadFile(Path()));
        EXPECT_EQ(book.GetPassword(), "Secret");
        EXPECT_EQ(answer.prompts, (std::vector<std::string>{"Enter NoteBook password:"}));
    }
    for (const char* wrong : {"secret", "Secret ", "cancel"}) {
        SCOPED_TRACE(wrong);
        MessageBoxRecorder local;
        PasswordAnswer answer(wrong);
        CNoteBook book;
        EXPECT_FALSE(book.ReadFile(Path()));
        ExpectFailedRead(book, local, kCannotRead);
    }
    {
        MessageBoxRecorder local;
        CNoteBook book; // no frame, nobody to answer: as cancelled
        EXPECT_FALSE(book.ReadFile(Path()));
        ExpectFailedRead(book, local, kCannotRead);
    }
    FakeNoteBookFrame frame;
    frame.passwords.push_back("Secret");
    CNoteBook book;
    ASSERT_TRUE(book.ReadFile(Path()));
    EXPECT_EQ(frame.calls.front(), "AskPassword Enter NoteBook password:");
}

TEST_F(NoteBookFile, FileEndingAtARecordOpensEndingInsideABodyFails)
{
    Header h;
    h.count = 3;
    NoteBookBytes file;
    file.Head(h).Note(1, "kept", "text");
    file.Save(Path());
    {
        CNoteBook book;
        ASSERT_TRUE(book.ReadFile(Path()));
        EXPECT_EQ(Titles(book), (std::vector<std::string>{"kept", "New Note 2", "New Note 3"}));
        EXPECT_EQ(book.GetNoteAt(3)->GetText(), "");
    }
    // Cut inside the serial: the length stays 0 and the note keeps its defaults.
    NoteBookBytes cutSerial = file;
    cutSerial.U32(9).bytes.resize(cutSerial.bytes.size() - 2);
    cutSerial.Save(Path());
    {
        CNoteBook book;
        ASSERT_TRUE(book.ReadFile(Path()));
        EXPECT_EQ(book.GetCount(), 3u);
    }
    // Cut inside a body, and inside the length field of a record whose body is missing.
    NoteBookBytes cutBody = file;
    cutBody.Note(2, "lost", "body");
    for (std::size_t cut : {std::size_t{3}, cutBody.bytes.size() - file.bytes.size() - 6}) {
        NoteBookBytes damaged = cutBody;
        damaged.bytes.resize(cutBody.bytes.size() - cut);
        damaged.Save(Path());
        MessageBoxRecorder local;
        CNoteBook book;
        EXPECT_FALSE(book.ReadFile(Path()));
        ExpectFailedRead(book, local, kCannotRead);
    }
    EXPECT_TRUE(boxes.boxes.empty());
}

// Files the reader opens leniently, and whether it owns up to having filled them out.
TEST_F(NoteBookFile, AReadSaysWhenItFilledTheFileOut)
{
    const auto records = [](std::uint32_t count) {
        Header h;
        h.count = count;
        NoteBookBytes file;
        return file.Head(h).Note(1, "a", "x").Note(2, "b", "y");
    };
    NoteBookBytes headerOnly;
    headerOnly.Head(Header());
    const struct
    {
        const char* what;
        std::string bytes;
        std::size_t notes;
        bool filledOut;
    } cases[] = {
        {"whole", records(2).bytes, 2, false},
        {"no notes", headerOnly.bytes, 0, false},
        {"a record missing", records(3).bytes, 3, true},
        {"a record more than counted", records(1).bytes, 1, true},
        {"bytes after the last record", records(2).Raw("junk").bytes, 2, true},
        {"cut in the header", headerOnly.bytes.substr(0, 72), 0, true},
    };
    CNoteBook book;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        NoteBookBytes{c.bytes}.Save(Path());
        ASSERT_TRUE(book.ReadFile(Path()));
        EXPECT_EQ(book.GetCount(), c.notes);
        EXPECT_EQ(book.WasFilledOut(), c.filledOut);
    }
    // Saved, the file holds what the notebook does.
    NoteBookBytes{records(3).bytes}.Save(Path());
    ASSERT_TRUE(book.ReadFile(Path()));
    ASSERT_TRUE(book.WriteFile(Path("saved.pelm")));
    EXPECT_FALSE(book.WasFilledOut());
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(NoteBookFile, HeaderCutShortKeepsThePresetValues)
{
    Header h;
    h.font.lfHeight = 33;
    NoteBookBytes file;
    file.Head(h);
    file.bytes.resize(68 + 4); // the font's height and nothing after it
    file.Save(Path());
    CNoteBook book;
    ASSERT_TRUE(book.ReadFile(Path()));
    const LogFont& font = book.GetViewSettings().m_font;
    EXPECT_EQ(font.lfHeight, 33);
    EXPECT_EQ(font.lfWeight, 400);
    EXPECT_STREQ(font.lfFaceName, "Verdana");
    EXPECT_EQ(font.lfCharSet, 1);
}

TEST_F(NoteBookFile, OldEmptyAndMissingFilesAreRefused)
{
    NoteBookBytes v4;
    v4.U32(4).U32(0).U32(0).Raw(std::string(60, '\0'));
    v4.Save(Path("v4.pelm"));
    NoteBookBytes().Save(Path("empty.pelm"));
    ASSERT_EQ(::mkfifo(Path("fifo.pelm").c_str(), 0600), 0);
    // Not regular files: a FIFO without a writer, a folder, a device without an end.
    const std::vector<std::pair<std::string, const char*>> cases = {
        {Path("v4.pelm"), kIncompatible},    {Path("empty.pelm"), kIncompatible},
        {Path("missing.pelm"), kCannotOpen}, {Path("fifo.pelm"), kCannotOpen},
        {dir.Path().string(), kCannotOpen},  {"/dev/zero", kCannotOpen},
    };
    for (const auto& [path, message] : cases) {
        SCOPED_TRACE(path);
        MessageBoxRecorder local;
        FakeNoteBookFrame frame;
        CNoteBook book;
        EXPECT_FALSE(book.ReadFile(path));
        ExpectFailedRead(book, local, message);
        EXPECT_TRUE(frame.calls.empty());
    }
}

TEST_F(NoteBookFile, LengthsBeyondTheFileFailBeforeAnythingIsAllocated)
{
    const std::uint32_t allowed = CNoteBookReader::kMissingNotesAllowed;
    struct Case
    {
        const char* what;
        NoteBookBytes file;
        bool opens;
        std::size_t notes;
    };
    std::vector<Case> cases;
    auto header = [](std::uint32_t count, std::uint32_t passwordLength) {
        Header h;
        h.count = count;
        h.passwordLength = passwordLength;
        NoteBookBytes b;
        b.Head(h);
        return b;
    };
    cases.push_back({"billions of notes", header(0xFFFFFFFFu, 0), false, 0});
    cases.push_back({"missing notes up to the bound", header(allowed, 0), true, allowed});
    cases.push_back({"one missing note more", header(allowed + 1, 0), false, 0});
    NoteBookBytes big = header(2000, 0);
    big.Note(1, "big", std::string(20000, 'x'));
    cases.push_back({"one large record, the rest missing", big, false, 0});
    NoteBookBytes small = header(3 + allowed, 0);
    small.Note(1, "a", "").Note(2, "b", "").Note(3, "c", "");
    cases.push_back({"three records and the missing bound", small, true, 3 + allowed});
    NoteBookBytes password = header(0, 0xFFFFFFFFu);
    password.Raw(std::string(64, 'p'));
    cases.push_back({"a password longer than the file", password, false, 0});
    NoteBookBytes shortBlock = header(0, 6);
    shortBlock.Raw(NoteBookBytes::Encipher("Secret"));
    cases.push_back({"a password block without its zero", shortBlock, false, 0});
    NoteBookBytes length = header(1, 0);
    length.U32(1).U32(0x7FFFFFFF).Raw(std::string(100, 'b'));
    cases.push_back({"a body longer than the file", length, false, 0});

    for (Case& c : cases) {
        SCOPED_TRACE(c.what);
        c.file.Save(Path());
        MessageBoxRecorder local;
        PasswordAnswer answer("Secret");
        CNoteBook book;
        EXPECT_EQ(book.ReadFile(Path()), c.opens);
        EXPECT_EQ(book.GetCount(), c.notes);
        EXPECT_TRUE(answer.prompts.empty()) << "a damaged file asks for no password";
        if (!c.opens)
            ExpectFailedRead(book, local, kCannotRead);
    }
}

TEST_F(NoteBookFile, FieldsPastTheEndOfTheBodyKeepTheirValues)
{
    // T claims more than the body holds: the title stays and X is taken where T's bytes would be.
    NoteBookBytes body;
    body.U32(0xFFFFFFFFu).U32(3).Raw("ab\0", 3);
    NoteBookBytes tooLong;
    Header h;
    h.count = 2;
    tooLong.Head(h).Record(1, body.bytes).Record(2, std::string("\x05\0\0\0ab", 6));
    tooLong.Save(Path());
    CNoteBook book;
    ASSERT_TRUE(book.ReadFile(Path()));
    EXPECT_EQ(book.GetNoteAt(1)->GetTitle(), "New Note 1");
    EXPECT_EQ(book.GetNoteAt(1)->GetText(), "ab");
    EXPECT_EQ(book.GetNoteAt(2)->GetTitle(), "New Note 2");
    EXPECT_EQ(book.GetNoteAt(2)->GetText(), "") << "the X that is not there reads as 0";
}

TEST_F(NoteBookFile, Windows1252NotebooksAreReadAsUtf8AndWrittenBackUnchanged)
{
    const std::string price1252 = "5 \x80 f\xFCr \xC4pfel \x81";
    const std::string password1252 = "M\xFCller\x80";
    std::string every; // 0x00 ends the string, so it stands as its terminator
    for (int c = 1; c < 256; ++c)
        every += static_cast<char>(c);
    Header h;
    h.count = 2;
    h.passwordLength = static_cast<std::uint32_t>(password1252.size());
    NoteBookBytes file;
    file.Head(h).Password(password1252).Note(1, "Caf\xE9", price1252).Note(2, "\x81\x8D\x8F\x90\x9D", every);
    file.Save(Path());

    PasswordAnswer answer("M\xC3\xBCller\xE2\x82\xAC"); // "Müller€" as typed
    CNoteBook book;
    ASSERT_TRUE(book.ReadFile(Path()));
    EXPECT_EQ(book.GetEncoding(), TextEncoding::windows1252);
    EXPECT_EQ(book.GetPassword(), "M\xC3\xBCller\xE2\x82\xAC");
    EXPECT_EQ(book.GetNoteAt(1)->GetTitle(), "Caf\xC3\xA9");
    EXPECT_EQ(book.GetNoteAt(1)->GetText(), "5 \xE2\x82\xAC f\xC3\xBCr \xC3\x84pfel \xC2\x81");
    EXPECT_EQ(book.GetNoteAt(2)->GetTitle(), "\xC2\x81\xC2\x8D\xC2\x8F\xC2\x90\xC2\x9D")
        << "the five bytes Windows leaves unassigned are the C1 controls of the same value";

    ASSERT_TRUE(book.WriteFile(Path("same.pelm")));
    EXPECT_EQ(NoteBookBytes::Load(Path("same.pelm")), file.bytes);
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(NoteBookFile, SortOrdersTitlesByTheBytesTheNotebookStores)
{
    // Reads the titles from a file made byte by byte, sorts, saves, and compares the saved file
    // with the same records in the expected order.
    auto expectSorted = [this](const std::vector<std::string>& stored,
                               const std::vector<std::string>& order) {
        Header h;
        h.count = static_cast<std::uint32_t>(stored.size());
        NoteBookBytes file;
        file.Head(h);
        for (std::size_t i = 0; i < stored.size(); ++i)
            file.Note(static_cast<std::int32_t>(i + 1), stored[i], "");
        file.Save(Path());
        NoteBookBytes expected;
        expected.Head(h);
        for (const std::string& title : order) {
            const auto at = std::find(stored.begin(), stored.end(), title) - stored.begin();
            expected.Note(static_cast<std::int32_t>(at + 1), title, "");
        }

        CNoteBook book;
        ASSERT_TRUE(book.ReadFile(Path()));
        EXPECT_EQ(book.GetEncoding(), TextEncoding::windows1252);
        book.SortByTitle();
        ASSERT_TRUE(book.WriteFile(Path("sorted.pelm")));
        EXPECT_EQ(NoteBookBytes::Load(Path("sorted.pelm")), expected.bytes);
    };

    // The 27 characters of 0x80 to 0x9F come after Z and before the no-break space; only A to Z
    // fold; a UTF-8 title of a mixed notebook sorts by its UTF-8 bytes.
    expectSorted({"\xFFlast", "\x8AXyz", "zed", "\xE9t\xE9", "\x80uro", "caf\xC3\xA9", "Zed", "\xC9T\xC9",
                  "_x", "\x82q", "\xA0nbsp", "caf\xE9", "cafe"},
                 {"_x", "cafe", "caf\xC3\xA9", "caf\xE9", "zed", "Zed", "\x80uro", "\x82q", "\x8AXyz",
                  "\xA0nbsp", "\xC9T\xC9", "\xE9t\xE9", "\xFFlast"});

    // Every byte from 0x80 to 0xFF, given in a scrambled order.
    const std::string ascending = "\x80\x81\x82\x83\x84\x85\x86\x87\x88\x89\x8A\x8B\x8C\x8D\x8E\x8F"
                                  "\x90\x91\x92\x93\x94\x95\x96\x97\x98\x99\x9A\x9B\x9C\x9D\x9E\x9F"
                                  "\xA0\xA1\xA2\xA3\xA4\xA5\xA6\xA7\xA8\xA9\xAA\xAB\xAC\xAD\xAE\xAF"
                                  "\xB0\xB1\xB2\xB3\xB4\xB5\xB6\xB7\xB8\xB9\xBA\xBB\xBC\xBD\xBE\xBF"
                                  "\xC0\xC1\xC2\xC3\xC4\xC5\xC6\xC7\xC8\xC9\xCA\xCB\xCC\xCD\xCE\xCF"
                                  "\xD0\xD1\xD2\xD3\xD4\xD5\xD6\xD7\xD8\xD9\xDA\xDB\xDC\xDD\xDE\xDF"
                                  "\xE0\xE1\xE2\xE3\xE4\xE5\xE6\xE7\xE8\xE9\xEA\xEB\xEC\xED\xEE\xEF"
                                  "\xF0\xF1\xF2\xF3\xF4\xF5\xF6\xF7\xF8\xF9\xFA\xFB\xFC\xFD\xFE\xFF";
    std::vector<std::string> scrambled;
    std::vector<std::string> order;
    for (std::size_t i = 0; i < ascending.size(); ++i) {
        scrambled.push_back(std::string(1, static_cast<char>(0x80 + (i * 37) % 128)) + "-");
        order.push_back(ascending.substr(i, 1) + "-");
    }
    expectSorted(scrambled, order);
}

TEST_F(NoteBookFile, PasswordIsComparedInTheCodePageTheNotesShow)
{
    // The bytes of "été" in UTF-8, which Windows shows as "Ã©tÃ©".
    const std::string password = "\xC3\xA9t\xC3\xA9";
    const char* const windows = "\xC3\x83\xC2\xA9t\xC3\x83\xC2\xA9";
    struct Case
    {
        const char* note;
        const char* opens;
        const char* refused;
    };
    const Case cases[] = {
        {"caf\xE9", windows, "\xC3\xA9t\xC3\xA9"},     // a Windows-1252 note
        {"caf\xC3\xA9", "\xC3\xA9t\xC3\xA9", windows}, // UTF-8 notes only
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.note);
        Header h;
        h.count = 1;
        h.passwordLength = static_cast<std::uint32_t>(password.size());
        NoteBookBytes file;
        file.Head(h).Password(password).Note(1, c.note, "");
        file.Save(Path());
        {
            MessageBoxRecorder local;
            PasswordAnswer answer(c.refused);
            CNoteBook book;
            EXPECT_FALSE(book.ReadFile(Path()));
            ExpectFailedRead(book, local, kCannotRead);
        }
        PasswordAnswer answer(c.opens);
        CNoteBook book;
        ASSERT_TRUE(book.ReadFile(Path()));
        EXPECT_EQ(book.GetPassword(), c.opens);
        ASSERT_TRUE(book.WriteFile(Path("copy.pelm")));
        EXPECT_EQ(NoteBookBytes::Load(Path("copy.pelm")), file.bytes);
    }
}

TEST_F(NoteBookFile, MixedNotebookShowsEveryStringAsWrittenAndKeepsItsBytes)
{
    // Written here in UTF-8, then extended on Windows.
    Header h;
    h.count = 3;
    NoteBookBytes file;
    file.Head(h)
        .Note(1, "caf\xC3\xA9", "na\xC3\xAFve \xE2\x82\xAC")
        .Note(2, "caf\xE9", "na\xEFve \x80")
        .Note(3, "plain", "text");
    file.Save(Path());

    CNoteBook book;
    ASSERT_TRUE(book.ReadFile(Path()));
    EXPECT_EQ(book.GetEncoding(), TextEncoding::windows1252);
    for (NotePosition pos : {1, 2}) {
        EXPECT_EQ(book.GetNoteAt(pos)->GetTitle(), "caf\xC3\xA9");
        EXPECT_EQ(book.GetNoteAt(pos)->GetText(), "na\xC3\xAFve \xE2\x82\xAC");
    }
    ASSERT_TRUE(book.WriteFile(Path("same.pelm")));
    EXPECT_EQ(NoteBookBytes::Load(Path("same.pelm")), file.bytes);

    // Edited and new strings take the notebook's code page; renaming to the same title is no edit.
    book.GetNoteAt(1)->SetTitle("caf\xC3\xA9");
    book.GetNoteAt(1)->SetText("gar\xC3\xA7on");
    book.AddNote(true, true)->SetTitle("\xC3\xA9t\xC3\xA9");
    ASSERT_TRUE(book.WriteFile(Path("edited.pelm")));
    h.count = 4;
    NoteBookBytes expected;
    expected.Head(h)
        .Note(1, "caf\xC3\xA9", "gar\xE7on")
        .Note(2, "caf\xE9", "na\xEFve \x80")
        .Note(3, "plain", "text")
        .Note(4, "\xE9t\xE9", "");
    EXPECT_EQ(NoteBookBytes::Load(Path("edited.pelm")), expected.bytes);
}

TEST_F(NoteBookFile, OnlyTheUsersWordChangesTheCodePage)
{
    Header h;
    h.count = 2;
    h.passwordLength = 4;
    NoteBookBytes file;
    file.Head(h).Password("caf\xE9").Note(1, "caf\xE9", "").Note(2, "Greek", "");
    file.Save(Path());
    PasswordAnswer answer("caf\xC3\xA9");
    CNoteBook book;
    ASSERT_TRUE(book.ReadFile(Path()));

    book.GetNoteAt(2)->SetText("\xCE\xA9"); // Omega: Windows-1252 has none
    const CNote* holder = nullptr;
    EXPECT_TRUE(book.FindUnstorable(holder));
    EXPECT_EQ(holder, book.GetNoteAt(2));
    // Without it the save fails and the file stays; nothing turns into a question mark.
    EXPECT_FALSE(book.WriteFile(Path()));
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].text, "ERROR: Could not write file.");
    EXPECT_EQ(NoteBookBytes::Load(Path()), file.bytes);
    EXPECT_EQ(book.GetEncoding(), TextEncoding::windows1252);

    // With it every string, the password too, is UTF-8 from the next save on.
    book.SetModifiedFlag(false);
    book.ChangeEncoding(TextEncoding::utf8);
    EXPECT_TRUE(book.IsModified());
    EXPECT_FALSE(book.FindUnstorable(holder));
    ASSERT_TRUE(book.WriteFile(Path()));
    h.passwordLength = 5;
    NoteBookBytes utf8;
    utf8.Head(h).Password("caf\xC3\xA9").Note(1, "caf\xC3\xA9", "").Note(2, "Greek", "\xCE\xA9");
    EXPECT_EQ(NoteBookBytes::Load(Path()), utf8.bytes);

    // And back, once the character is gone; a password Windows-1252 lacks is named as such.
    book.GetNoteAt(2)->SetText("");
    book.ChangeEncoding(TextEncoding::windows1252);
    ASSERT_TRUE(book.WriteFile(Path()));
    EXPECT_EQ(NoteBookBytes::Load(Path()), file.bytes);
    book.SetPassword("\xCE\xA9mega");
    EXPECT_TRUE(book.FindUnstorable(holder));
    EXPECT_EQ(holder, nullptr);
}

TEST_F(NoteBookFile, NonAsciiPasswordOfAUtf8NotebookOpensOnlyWithItself)
{
    CNoteBook book;
    book.SetPassword("\xC3\xA9t\xC3\xA9\xE2\x82\xAC"); // "été€"
    book.AddNote(true, true)->SetText("\xE2\x9C\x93");
    ASSERT_TRUE(book.WriteFile(Path()));
    const std::string bytes = NoteBookBytes::Load(Path());
    EXPECT_EQ(bytes.substr(8, 4), std::string("\x08\0\0\0", 4)) << "P counts UTF-8 bytes";
    {
        PasswordAnswer answer("\xC3\xA9t\xC3\xA9\xE2\x82\xAC");
        CNoteBook again;
        ASSERT_TRUE(again.ReadFile(Path()));
        EXPECT_EQ(again.GetEncoding(), TextEncoding::utf8);
    }
    MessageBoxRecorder local;
    PasswordAnswer answer("\xC3\x89t\xC3\xA9\xE2\x82\xAC"); // capital É
    CNoteBook again;
    EXPECT_FALSE(again.ReadFile(Path()));
    ExpectFailedRead(again, local, kCannotRead);
}

// Bodies longer than the writer's stretch of enciphering, one a whole number of key lengths longer
// and one not, come out byte for byte as the layout says.
TEST_F(NoteBookFile, LongBodiesAreWrittenByteForByte)
{
    std::string longText;
    for (int i = 0; longText.size() < 200001; ++i)
        longText += "line " + std::to_string(i) + "\n";
    longText.resize(200001);
    std::string wholeKeys(61440 * 2 - 8 - 11 - 1, 'k'); // with its title the body is two stretches
    CNoteBook book;
    book.AddNote(true, true)->SetText(longText);
    book.AddNote(true, true)->SetText(wholeKeys);
    book.AddNote(true, true)->SetText("short");
    ASSERT_TRUE(book.WriteFile(Path()));

    Header h;
    h.count = 3;
    NoteBookBytes expected;
    expected.Head(h)
        .Note(1, "New Note 1", longText)
        .Note(2, "New Note 2", wholeKeys)
        .Note(3, "New Note 3", "short");
    EXPECT_TRUE(NoteBookBytes::Load(Path()) == expected.bytes);
}
