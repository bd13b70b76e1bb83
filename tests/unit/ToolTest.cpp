#include "model/CEncryptedFile.h"
#include "model/CNoteBook.h"
#include "platform/CBackupStore.h"
#include "platform/CFile.h"
#include "support/NoteBookBytes.h"
#include "support/PasswordAnswer.h"
#include "support/ShellQuote.h"
#include "support/TempDir.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <sstream>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

struct Result
{
    int status;
    std::string out;
    std::string err;
};

class Tool : public ::testing::Test
{
protected:
    // Runs pelmora-tool with the arguments, standard input from the text, no terminal.
    Result Run(const std::vector<std::string>& args, const std::string& input = {},
               const std::string& password = {}, const std::string& wrapper = {})
    {
        std::ofstream(dir.File("stdin"), std::ios::binary) << input;
        // The backups of the notebooks the tool rewrites stay in the test's own folder.
        std::string command =
            wrapper + "env " +
            (password.empty() ? "-u PELMORA_PASSWORD " : "PELMORA_PASSWORD=" + ShellQuoted(password) + " ") +
            "XDG_STATE_HOME=" + ShellQuoted(dir.File("state")) + " ";
        command += ShellQuoted(PELMORA_TOOL);
        for (const std::string& arg : args)
            command += " " + ShellQuoted(arg);
        command += " <" + ShellQuoted(dir.File("stdin")) + " >" + ShellQuoted(dir.File("stdout")) + " 2>" +
                   ShellQuoted(dir.File("stderr"));
        const int raw = std::system(command.c_str());
        return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, NoteBookBytes::Load(dir.File("stdout")),
                NoteBookBytes::Load(dir.File("stderr"))};
    }

    // A locked notebook with every view field set and characters beyond ASCII, as this program writes it.
    std::string WriteRichNoteBook(const std::string& name, TextEncoding encoding)
    {
        CNoteBook book;
        book.SetEncoding(encoding);
        book.SetPassword("p\xC3\xA4ss");
        CViewSettings& view = book.GetViewSettings();
        view.m_bWordWrap = true;
        view.m_placement = {44, 2, SW_SHOWMAXIMIZED, -1, -2, -8, -9, 10, 20, 810, 620};
        view.m_paneFirst = 12000;
        view.m_paneSecond = 20768;
        FillLogFont(view.m_font, "Lucida Console", -21, 700, 1, 0, 1, 3, 900, 900, 0, 3, 2, 5, 49);
        std::memcpy(view.m_font.lfFaceName + 20, "\x01\xFF", 2);
        book.AddNote(true, true)->SetTitle("Caf\xC3\xA9 \xE2\x82\xAC");
        book.GetNoteAt(1)->SetText("line one\r\nline \"two\"\ttab");
        book.AddNote(true, true)->SetTitle("");
        book.AddNote(true, true)->SetText(std::string(5000, 'z'));
        const std::string path = dir.File(name);
        EXPECT_TRUE(book.WriteFile(path));
        return path;
    }

    TempDir dir;
    MessageBoxRecorder boxes;
};

} // namespace

TEST_F(Tool, DumpThenLoadReproducesTheFileByteForByte)
{
    for (TextEncoding encoding : {TextEncoding::utf8, TextEncoding::windows1252}) {
        SCOPED_TRACE(encoding == TextEncoding::utf8 ? "UTF-8" : "Windows-1252");
        const std::string original = WriteRichNoteBook("original.pelm", encoding);
        const Result dump = Run({"dump", original}, {}, "p\xC3\xA4ss");
        ASSERT_EQ(dump.status, 0) << dump.err;
        const auto json = nlohmann::json::parse(dump.out);
        EXPECT_EQ(json["version"], 10);
        EXPECT_EQ(json["password"], true);
        EXPECT_EQ(dump.out.find("p\xC3\xA4ss"), std::string::npos) << "the password itself is never shown";
        EXPECT_EQ(json["notes"][0]["title"], "Caf\xC3\xA9 \xE2\x82\xAC");
        EXPECT_EQ(json["notes"][1]["title"], "");
        EXPECT_EQ(json["font"]["face"], "Lucida Console");
        EXPECT_EQ(json["font"]["face_bytes"].size(), 32u) << "bytes after the name are kept";
        EXPECT_EQ(json["placement"]["normal"], nlohmann::json({10, 20, 810, 620}));
        EXPECT_EQ(json["pane_shares"], nlohmann::json({12000, 20768}));

        const std::string copy = dir.File("copy.pelm");
        const Result load = Run({"load", copy}, dump.out, "p\xC3\xA4ss");
        ASSERT_EQ(load.status, 0) << load.err;
        EXPECT_EQ(NoteBookBytes::Load(copy), NoteBookBytes::Load(original));
    }
}

TEST_F(Tool, LoadTakesAPasswordStringAndRefusesBadInput)
{
    const std::string path = dir.File("new.pelm");
    const Result load =
        Run({"load", path},
            R"({"password": "open sesame", "pane_shares": null, "notes": [{"title": "a", "text": "b"}]})");
    ASSERT_EQ(load.status, 0) << load.err;
    {
        PasswordAnswer answer("open sesame");
        CNoteBook book;
        ASSERT_TRUE(book.ReadFile(path));
        EXPECT_EQ(book.GetNoteAt(1)->GetText(), "b");
        EXPECT_STREQ(book.GetViewSettings().m_font.lfFaceName, "Verdana") << "an absent font is the default";
    }
    const std::string before = NoteBookBytes::Load(path);
    for (const char* bad : {"not json", R"({"notes": [{"title": 5}]})", R"({"font": {"height": 4294967296}})",
                            R"({"password": true})"}) {
        SCOPED_TRACE(bad);
        const Result refused = Run({"load", path}, bad);
        EXPECT_EQ(refused.status, 1);
        EXPECT_NE(refused.err.find("pelmora-tool: "), std::string::npos);
        EXPECT_EQ(NoteBookBytes::Load(path), before);
    }
}

TEST_F(Tool, InfoReadsTheWholeNotebookAndOnlyTheHeaderNeedsNoPassword)
{
    const std::string path = WriteRichNoteBook("locked.pelm", TextEncoding::utf8);
    std::ofstream(dir.File("right")) << "p\xC3\xA4ss\n";
    const Result full = Run({"--password-file", dir.File("right"), "info", path});
    ASSERT_EQ(full.status, 0) << full.err;
    EXPECT_NE(full.out.find("version: 10\nnotes: 3\nlocked: yes\n"), std::string::npos) << full.out;
    EXPECT_EQ(Run({"info", path}).status, 1) << "the window asks for the password too";

    // Cut short by one byte, a text file, and a wrong password: each a fault the reader names.
    const std::string bytes = NoteBookBytes::Load(path);
    std::ofstream(dir.File("short.pelm"), std::ios::binary) << bytes.substr(0, bytes.size() - 1);
    std::ofstream(dir.File("passwd"), std::ios::binary) << "root:x:0:0:root:/root:/bin/bash\n";
    std::ofstream(dir.File("wrong")) << "pass\n";
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"--password-file", dir.File("right"), "info", dir.File("short.pelm")},
             {"info", dir.File("passwd")},
             {"--password-file", dir.File("wrong"), "info", path}}) {
        const Result fault = Run(args);
        EXPECT_EQ(fault.status, 1) << args.back();
        EXPECT_NE(fault.err.find("ERROR: "), std::string::npos) << fault.err;
        EXPECT_EQ(fault.out, "") << "no fields of a notebook that does not read";
    }

    const Result info = Run({"info", "--header", path});
    ASSERT_EQ(info.status, 0) << info.err;
    EXPECT_NE(info.out.find("version: 10\nnotes: 3\nlocked: yes\n"), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("pane shares: 12000 20768"), std::string::npos);
    EXPECT_NE(info.out.find("placement: show 3, normal 10 20 810 620"), std::string::npos);

    const Result noPassword = Run({"dump", path});
    EXPECT_EQ(noPassword.status, 1);
    EXPECT_NE(noPassword.err.find("ERROR: Could not read file.\n"), std::string::npos) << noPassword.err;
    EXPECT_TRUE(noPassword.out.empty());

    EXPECT_EQ(Run({"--password-file", dir.File("wrong"), "dump", path}).status, 1);
    EXPECT_EQ(Run({"--password-file", dir.File("right"), "dump", path}, {}, "ignored").status, 0);

    const Result missing = Run({"info", dir.File("missing.pelm")});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err, "ERROR: Could not read specified file.\n");
}

// The reader opens a notebook whose header counts more or fewer records than it holds, or with
// bytes after them; info opens it too and says what it found.
TEST_F(Tool, InfoSaysWhatTheFileHoldsBesideWhatItsHeaderCounts)
{
    const auto write = [&](const std::string& name, std::uint32_t counted, int records,
                           const std::string& after) {
        NoteBookBytes::Header h;
        h.count = counted;
        NoteBookBytes file;
        file.Head(h);
        for (int i = 1; i <= records; ++i)
            file.Note(i, "title", "text");
        file.Save(dir.File(name));
        std::ofstream(dir.File(name), std::ios::binary | std::ios::app) << after;
        return dir.File(name);
    };
    const struct
    {
        std::uint32_t counted;
        int records;
        std::string after;
        const char* said;
    } cases[] = {
        {2, 2, "", nullptr},
        {3, 0, "", "records: the header counts 3, the file holds 0; the 3 missing read as empty notes\n"},
        {4, 2, "", "records: the header counts 4, the file holds 2; the 2 missing read as empty notes\n"},
        // A record of "title" and "text": serial, length, and two fields of a length and the bytes.
        {1, 2, "", "trailing bytes: 27 after the last record the header counts, not read\n"},
        {2, 2, "junk", "trailing bytes: 4 after the last record the header counts, not read\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.counted);
        const Result info = Run({"info", write("book.pelm", c.counted, c.records, c.after)});
        EXPECT_EQ(info.status, 0) << info.err;
        EXPECT_NE(info.out.find("notes: " + std::to_string(c.counted) + "\n"), std::string::npos) << info.out;
        EXPECT_EQ(info.out.find("records: ") == std::string::npos &&
                      info.out.find("trailing") == std::string::npos,
                  c.said == nullptr)
            << info.out;
        if (c.said) {
            EXPECT_NE(info.out.find(c.said), std::string::npos) << info.out;
        }
    }
}

TEST_F(Tool, UsageErrorsExitWith2)
{
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{},
                                               {"frobnicate"},
                                               {"dump"},
                                               {"import", "a.txt"},
                                               {"export", "book.pelm"},
                                               {"--bogus", "info", "x"}})
        EXPECT_EQ(Run(args).status, 2) << (args.empty() ? "" : args[0]);
    EXPECT_EQ(Run({"--help"}).status, 0);
}

TEST_F(Tool, ExportNamesAreSafeForAnyTitle)
{
    CNoteBook book;
    const std::vector<std::string> titles = {"a/b\\c",     "..",          "tab\there", "Same", "Same", "",
                                             " .hidden. ", "caf\xC3\xA9", "x",         "y",    "z"};
    for (const std::string& title : titles) {
        CNote* note = book.AddNote(true, true);
        note->SetTitle(title);
        note->SetText("text of " + title);
    }
    ASSERT_TRUE(book.WriteFile(dir.File("book.pelm")));
    const Result result = Run({"export", dir.File("book.pelm"), dir.File("out/notes")});
    ASSERT_EQ(result.status, 0) << result.err;

    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir.File("out/notes")))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"01 a_b_c.txt", "02.txt", "03 tab_here.txt", "04 Same.txt",
                                               "05 Same.txt", "06.txt", "07 hidden.txt", "08 caf\xC3\xA9.txt",
                                               "09 x.txt", "10 y.txt", "11 z.txt"}));
    EXPECT_EQ(NoteBookBytes::Load(dir.File("out/notes/04 Same.txt")), "text of Same");
    EXPECT_EQ(NoteBookBytes::Load(dir.File("out/notes/08 caf\xC3\xA9.txt")), "text of caf\xC3\xA9");
}

// A file the disk has no room for fails the export by name, and its earlier export stays whole.
TEST_F(Tool, AnExportWithoutRoomExitsOneAndLeavesTheEarlierFileWhole)
{
    CNoteBook book;
    book.AddNote(true, true)->SetTitle("long");
    for (const char fill : {'a', 'b'}) {
        book.GetNoteAt(1)->SetText(std::string(20000, fill));
        ASSERT_TRUE(book.WriteFile(dir.File("book.pelm")));
        // Past 4 KiB a write fails (EFBIG) instead of killing the tool.
        const Result result = Run({"export", dir.File("book.pelm"), dir.File("out")}, {}, {},
                                  fill == 'a' ? "" : "trap '' XFSZ; ulimit -f 8; ");
        EXPECT_EQ(result.status, fill == 'a' ? 0 : 1) << result.err;
    }
    EXPECT_EQ(NoteBookBytes::Load(dir.File("stderr")),
              "pelmora-tool: cannot write " + dir.File("out/1 long.txt") +
                  ": The file is larger than the disk or the system allows.\n");
    EXPECT_EQ(NoteBookBytes::Load(dir.File("out/1 long.txt")), std::string(20000, 'a'));
}

TEST_F(Tool, ImportCreatesOrExtendsTheNotebook)
{
    std::ofstream(dir.File("shopping.list.txt")) << "milk\n";
    std::ofstream(dir.File("old.txt"), std::ios::binary) << "na\xEFve \x80";
    std::ofstream(dir.File("README")) << "no extension";
    const std::string book = dir.File("book.pelm");
    Result result = Run({"import", "--into", book, dir.File("shopping.list.txt"), dir.File("old.txt")});
    ASSERT_EQ(result.status, 0) << result.err;
    result = Run({"import", "--into", book, dir.File("README")});
    ASSERT_EQ(result.status, 0) << result.err;

    const std::string before = NoteBookBytes::Load(book);
    result = Run({"import", "--into", book, dir.File("README"), dir.File("missing.txt")});
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.err.find("missing.txt"), std::string::npos);
    EXPECT_EQ(NoteBookBytes::Load(book), before) << "nothing is added when one file cannot be read";

    CNoteBook read;
    ASSERT_TRUE(read.ReadFile(book));
    ASSERT_EQ(read.GetCount(), 3u);
    EXPECT_EQ(read.GetNoteAt(1)->GetTitle(), "shopping.list");
    EXPECT_EQ(read.GetNoteAt(1)->GetText(), "milk\n");
    EXPECT_EQ(read.GetNoteAt(2)->GetText(), "na\xC3\xAFve \xE2\x82\xAC")
        << "Windows text files arrive as UTF-8";
    EXPECT_EQ(read.GetNoteAt(3)->GetTitle(), "README");
    EXPECT_EQ(read.GetEncoding(), TextEncoding::utf8);
}

TEST_F(Tool, ImportReadsMixedUtf8AndUnicodeMarksAndRefusesBinaryFiles)
{
    using namespace std::string_literals;
    // A changelog in UTF-8 with one name left in Latin-1.
    std::ofstream(dir.File("changelog"), std::ios::binary)
        << "\xE2\x80\x98quoted\xE2\x80\x99 by Jos\xE9 \xE2\x80\x94";
    std::ofstream(dir.File("le16.txt"), std::ios::binary) << "\xFF\xFE"
                                                             "h\0\xE9\0\x3D\xD8\x00\xDE"s;
    std::ofstream(dir.File("be16.txt"), std::ios::binary) << "\xFE\xFF\0h\0i"s;
    std::ofstream(dir.File("le32.txt"), std::ios::binary) << "\xFF\xFE\0\0"
                                                             "\xAC\x20\0\0"s;
    std::ofstream(dir.File("image.bin"), std::ios::binary) << "GIF89a\0\0\x01"s;
    std::ofstream(dir.File("odd16.txt"), std::ios::binary) << "\xFF\xFE"
                                                              "h\0\x00\xDC"s;
    const std::string book = dir.File("book.pelm");
    const Result result =
        Run({"import", "--into", book, dir.File("changelog"), dir.File("le16.txt"), dir.File("image.bin"),
             dir.File("be16.txt"), dir.File("le32.txt"), dir.File("odd16.txt")});
    EXPECT_EQ(result.status, 1) << "two files were refused";
    EXPECT_NE(result.err.find(dir.File("image.bin") + ": holds NUL bytes"), std::string::npos) << result.err;
    EXPECT_NE(result.err.find(dir.File("odd16.txt")), std::string::npos) << result.err;
    EXPECT_NE(result.err.find(dir.File("changelog") + ": read as UTF-8; 1 byte(s)"), std::string::npos)
        << result.err;

    CNoteBook read;
    ASSERT_TRUE(read.ReadFile(book));
    ASSERT_EQ(read.GetCount(), 4u);
    EXPECT_EQ(read.GetNoteAt(1)->GetText(), "\xE2\x80\x98quoted\xE2\x80\x99 by Jos\xC3\xA9 \xE2\x80\x94");
    EXPECT_EQ(read.GetNoteAt(2)->GetText(), "h\xC3\xA9\xF0\x9F\x98\x80");
    EXPECT_EQ(read.GetNoteAt(3)->GetText(), "hi");
    EXPECT_EQ(read.GetNoteAt(4)->GetText(), "\xE2\x82\xAC");
}

TEST_F(Tool, ImportNamesAGuessedEncodingAndTakesTheOneGiven)
{
    // "CAFÉ’s" in Windows-1252, whose two bytes happen to be valid UTF-8; "привет мир" in KOI8-R.
    std::ofstream(dir.File("menu.txt"), std::ios::binary) << "CAF\xC9\x92s\n";
    std::ofstream(dir.File("hello.txt"), std::ios::binary) << "\xD0\xD2\xC9\xD7\xC5\xD4 \xCD\xC9\xD2";
    const std::string book = dir.File("book.pelm");
    Result result = Run({"import", "--into", book, dir.File("menu.txt")});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_NE(result.err.find(dir.File("menu.txt") + ": read as windows-1252"), std::string::npos)
        << result.err;
    result = Run({"import", "--into", book, "--encoding", "KOI8-R", dir.File("hello.txt")});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.err, "") << "the user's choice needs no notice";

    const std::string before = NoteBookBytes::Load(book);
    result = Run({"import", "--into", book, "--encoding", "klingon-8", dir.File("hello.txt")});
    EXPECT_EQ(result.status, 2);
    EXPECT_NE(result.err.find("unknown encoding: klingon-8"), std::string::npos) << result.err;
    result = Run({"import", "--into", book, "--encoding", "UTF-8", dir.File("hello.txt")});
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.err.find("hello.txt: is not text in UTF-8; not imported"), std::string::npos)
        << result.err;
    EXPECT_EQ(NoteBookBytes::Load(book), before);

    CNoteBook read;
    ASSERT_TRUE(read.ReadFile(book));
    ASSERT_EQ(read.GetCount(), 2u);
    EXPECT_EQ(read.GetNoteAt(1)->GetText(), "CAF\xC3\x89\xE2\x80\x99s\n");
    EXPECT_EQ(read.GetNoteAt(2)->GetText(),
              "\xD0\xBF\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82 \xD0\xBC\xD0\xB8\xD1\x80");
}

TEST_F(Tool, DumpThenLoadKeepsTheBytesOfAWindowsNotebook)
{
    // Written on Windows, extended here in UTF-8, locked with the bytes of "été" in UTF-8.
    std::string every;
    for (int c = 1; c < 256; ++c)
        every += static_cast<char>(c);
    NoteBookBytes::Header h;
    h.count = 3;
    h.passwordLength = 5;
    NoteBookBytes file;
    file.Head(h)
        .Password("\xC3\xA9t\xC3\xA9")
        .Note(1, "caf\xE9", every)
        .Note(2, "caf\xC3\xA9", "na\xC3\xAFve")
        .Note(3, "plain", "");
    const std::string original = dir.File("windows.pelm");
    file.Save(original);

    const std::string owner = "\xC3\x83\xC2\xA9t\xC3\x83\xC2\xA9"; // "Ã©tÃ©", as Windows shows the bytes
    const Result dump = Run({"dump", original}, {}, owner);
    ASSERT_EQ(dump.status, 0) << dump.err;
    const auto json = nlohmann::json::parse(dump.out);
    EXPECT_EQ(json["encoding"], "windows-1252");
    EXPECT_EQ(json["notes"][0]["title"], "caf\xC3\xA9");
    EXPECT_EQ(json["notes"][1]["title"], "caf\xC3\xA9");
    EXPECT_EQ(json["notes"][1]["title_encoding"], "utf-8");
    EXPECT_FALSE(json["notes"][0].contains("title_encoding"));

    const std::string copy = dir.File("copy.pelm");
    const Result load = Run({"load", copy}, dump.out, owner);
    ASSERT_EQ(load.status, 0) << load.err;
    EXPECT_EQ(NoteBookBytes::Load(copy), file.bytes);
}

TEST_F(Tool, NeitherLoadNorImportChangesTheCodePageUnasked)
{
    const std::string fresh = dir.File("fresh.pelm");
    const Result load =
        Run({"load", fresh}, "{\"encoding\": \"windows-1252\", \"notes\": [{\"title\": \"Greek\", "
                             "\"text\": \"\xCE\xA9\"}]}");
    EXPECT_EQ(load.status, 1);
    EXPECT_EQ(load.err,
              "pelmora-tool: the note \"Greek\" holds characters that Windows-1252 cannot store; the "
              "notebook keeps its code page\n");
    EXPECT_FALSE(fs::exists(fresh));

    NoteBookBytes::Header h;
    h.count = 1;
    NoteBookBytes file;
    file.Head(h).Note(1, "caf\xE9", "");
    const std::string book = dir.File("book.pelm");
    file.Save(book);
    std::ofstream(dir.File("Omega.txt")) << "\xCE\xA9";
    const Result import = Run({"import", "--into", book, dir.File("Omega.txt")});
    EXPECT_EQ(import.status, 1);
    EXPECT_NE(import.err.find("the note \"Omega\" holds characters"), std::string::npos) << import.err;
    EXPECT_EQ(NoteBookBytes::Load(book), file.bytes);
}

TEST_F(Tool, OnlyRegularFilesAreRead)
{
    ASSERT_EQ(::mkfifo(dir.File("fifo.pelm").c_str(), 0600), 0);
    for (const std::string& path : {dir.File("fifo.pelm"), dir.Path().string(), std::string("/dev/zero")})
        for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
                 {"info", path}, {"dump", path}, {"export", path, dir.File("out")}}) {
            SCOPED_TRACE(path + " " + args[0]);
            const Result result = Run(args);
            EXPECT_EQ(result.status, 1);
            EXPECT_EQ(result.err, "ERROR: Could not read specified file.\n");
        }
    const Result import = Run({"import", "--into", dir.File("book.pelm"), dir.File("fifo.pelm")});
    EXPECT_EQ(import.status, 1);
    EXPECT_NE(import.err.find("cannot read"), std::string::npos) << import.err;
    EXPECT_FALSE(fs::exists(dir.File("book.pelm")));
}

TEST_F(Tool, GrepPrintsOneLinePerOccurrenceAndAnswersAsGrepDoes)
{
    CNoteBook book;
    const std::pair<const char*, const char*> notes[] = {
        {"Stra\xC3\x9F"
         "e",
         "first line\r\nthe STRASSE, the strasse"},
        {"other", "nothing\nquake here\nquite"},
    };
    for (const auto& [title, text] : notes) {
        CNote* note = book.AddNote(true, true);
        note->SetTitle(title);
        note->SetText(text);
    }
    const std::string file = dir.File("book.pelm");
    ASSERT_TRUE(book.WriteFile(file));

    Result result = Run({"grep", "strasse", file});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "1:Stra\xC3\x9F"
                          "e:Stra\xC3\x9F"
                          "e\n1:Stra\xC3\x9F"
                          "e:the STRASSE, the strasse\n1:Stra\xC3\x9F"
                          "e:the STRASSE, the strasse\n");
    result = Run({"grep", "--match-case", "--words", "--regex", "qu\\w+e", file});
    EXPECT_EQ(result.out, "2:other:quake here\n2:other:quite\n");
    EXPECT_EQ(Run({"grep", "--match-case",
                   "STRA\xC3\x9F"
                   "E",
                   file})
                  .status,
              1);
    result = Run({"grep", "--regex", "qu(", file});
    EXPECT_EQ(result.status, 2);
    EXPECT_NE(result.err.find("missing closing parenthesis"), std::string::npos) << result.err;
    EXPECT_EQ(Run({"grep", "x", dir.File("absent.pelm")}).status, 2);
}

TEST_F(Tool, ALockedEncryptedNotebookOpensFromTwoFilesAndCharactersAreCounted)
{
    const std::string locked = WriteRichNoteBook("locked.pelm", TextEncoding::utf8);
    std::ofstream(dir.File("password")) << "p\xC3\xA4ss\n";
    // 日本語の is four characters in twelve bytes: too short.
    std::ofstream(dir.File("short")) << "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E\xE3\x81\xAE\n";
    std::ofstream(dir.File("passphrase")) << "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E\xE3\x81\xAE"
                                             "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E\xE3\x81\xAE\n";
    std::ofstream(dir.File("cheapPassphrase")) << "passphrase";
    const std::string sealed = dir.File("locked.pelmx");
    const Result tooShort = Run({"--password-file", dir.File("password"), "--passphrase-file",
                                 dir.File("short"), "encrypt", locked, sealed});
    EXPECT_EQ(tooShort.status, 1);
    EXPECT_NE(tooShort.err.find("at least 8 characters"), std::string::npos) << tooShort.err;
    ASSERT_EQ(Run({"--password-file", dir.File("password"), "--passphrase-file", dir.File("passphrase"),
                   "encrypt", locked, sealed})
                  .status,
              0);
    const Result info = Run({"--passphrase-file", dir.File("passphrase"), "--password-file",
                             dir.File("password"), "info", sealed});
    EXPECT_EQ(info.status, 0) << info.err;
    EXPECT_NE(info.out.find("notes: 3\nlocked: yes\n"), std::string::npos) << info.out;
    EXPECT_EQ(Run({"--password-file", dir.File("password"), "info", sealed}).status, 1)
        << "the password is no passphrase";

    // The least memory Argon2id takes is 8 KiB, not "0 MiB".
    CFile plain;
    CFile cheap;
    ASSERT_TRUE(plain.Open(WriteRichNoteBook("open.pelm", TextEncoding::utf8), CFile::modeRead));
    ASSERT_TRUE(cheap.Open(dir.File("cheap.pelmx"), CFile::modeCreate | CFile::modeWrite));
    CEncryptedFile::Seal(plain, cheap,
                         *CSealKey::Derive(CSecureBytes(std::string_view("passphrase")), {1, 8192}));
    cheap.Close();
    const Result cheapInfo = Run({"--password-file", dir.File("password"), "--passphrase-file",
                                  dir.File("cheapPassphrase"), "info", dir.File("cheap.pelmx")});
    EXPECT_NE(cheapInfo.out.find("Argon2id with 8 KiB and 1 passes"), std::string::npos) << cheapInfo.err;
}

TEST_F(Tool, GrepFoldsFullyAndMatchesCanonicallyEquivalentText)
{
    CNoteBook book;
    for (const char* text : {"J\xCC\x8C", "\xC7\xB0", "cafe\xCC\x81", "caf\xC3\xA9", "cafe"}) {
        CNote* note = book.AddNote(true, true);
        note->SetTitle("t");
        note->SetText(text);
    }
    const std::string file = dir.File("book.pelm");
    ASSERT_TRUE(book.WriteFile(file));
    EXPECT_EQ(Run({"grep", "\xC7\xB0", file}).out, "1:t:J\xCC\x8C\n2:t:\xC7\xB0\n");
    EXPECT_EQ(Run({"grep", "--match-case", "caf\xC3\xA9", file}).out, "3:t:cafe\xCC\x81\n4:t:caf\xC3\xA9\n");
    EXPECT_EQ(Run({"grep", "--words", "cafe", file}).out, "5:t:cafe\n") << "an e with an accent is no e";
}

TEST_F(Tool, EncryptedNotebooksRoundTripAndNeedTheirPassphrase)
{
    const std::string plain = dir.File("plain.pelm");
    ASSERT_EQ(Run({"load", plain}, R"({"notes": [{"title": "Bank", "text": "PIN 4711"}]})").status, 0);
    const std::string sealed = dir.File("sealed.pelmx");
    EXPECT_EQ(Run({"encrypt", plain, dir.File("sealed.pelm")}, {}, "passphrase1").status, 1)
        << "an encrypted notebook is named .pelmx";
    EXPECT_EQ(Run({"encrypt", plain, sealed}, {}, "short").status, 1) << "at least 8 characters";
    ASSERT_EQ(Run({"encrypt", plain, sealed}, {}, "passphrase1").status, 0);
    EXPECT_EQ(NoteBookBytes::Load(sealed).find("4711"), std::string::npos);

    const Result info = Run({"info", sealed}, {}, "passphrase1");
    EXPECT_NE(info.out.find("encrypted: yes, Argon2id with 256 MiB and 3 passes\nversion: 10\nnotes: 1\n"),
              std::string::npos)
        << info.out;
    const Result wrong = Run({"dump", sealed}, {}, "passphrase2");
    EXPECT_EQ(wrong.status, 1);
    EXPECT_NE(wrong.err.find("Wrong passphrase"), std::string::npos) << wrong.err;

    // Notes added to an encrypted notebook stay encrypted; decrypt gives the plain notebook back.
    std::ofstream(dir.File("More.txt")) << "text";
    ASSERT_EQ(Run({"import", "--into", sealed, dir.File("More.txt")}, {}, "passphrase1").status, 0);
    const std::string back = dir.File("back.pelm");
    ASSERT_EQ(Run({"decrypt", sealed, back}, {}, "passphrase1").status, 0);
    const auto json = nlohmann::json::parse(Run({"dump", back}).out);
    EXPECT_EQ(json["notes"][0]["text"], "PIN 4711");
    EXPECT_EQ(json["notes"][1]["title"], "More");
}

TEST_F(Tool, ReplaceChangesEveryNoteAsReplaceAllAndADryRunOnlyCounts)
{
    const std::string file = dir.File("book.pelm");
    ASSERT_EQ(Run({"load", file},
                  R"({"notes": [{"title": "Cat list", "text": "the cat, the CAT, concat"},
                                {"title": "dogs", "text": "no such animal"},
                                {"title": "names", "text": "Smith, John\nDoe, Jane"}]})")
                  .status,
              0);
    const std::string before = NoteBookBytes::Load(file);
    Result result = Run({"replace", "--dry-run", "cat", "tiger", file});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "would replace 4 occurrences in 1 notes\n");
    EXPECT_EQ(NoteBookBytes::Load(file), before);

    result = Run({"replace", "--words", "cat", "tiger", file});
    EXPECT_EQ(result.out, "replaced 3 occurrences in 1 notes\n") << result.err;
    const std::string once = NoteBookBytes::Load(file);
    result = Run({"replace", "--regex", "--match-case", R"(([A-Z]\w+), (\w+))", "$2 $1", file});
    EXPECT_EQ(result.out, "replaced 2 occurrences in 1 notes\n") << result.err;
    // The two versions before are kept, as the window's saves keep them.
    const std::string backups = dir.File("state/pelmora/backups");
    EXPECT_EQ(NoteBookBytes::Load(CBackupStore::BackupPath(file, backups, 1)), once);
    EXPECT_EQ(NoteBookBytes::Load(CBackupStore::BackupPath(file, backups, 2)), before);
    const auto notes = nlohmann::json::parse(Run({"dump", file}).out)["notes"];
    EXPECT_EQ(notes[0]["title"], "tiger list");
    EXPECT_EQ(notes[0]["text"], "the tiger, the tiger, concat");
    EXPECT_EQ(notes[1]["text"], "no such animal");
    EXPECT_EQ(notes[2]["text"], "John Smith\nJane Doe");

    const std::string after = NoteBookBytes::Load(file);
    result = Run({"replace", "--regex", "qu(", "x", file});
    EXPECT_EQ(result.status, 2);
    EXPECT_NE(result.err.find("missing closing parenthesis"), std::string::npos) << result.err;
    EXPECT_EQ(NoteBookBytes::Load(file), after);
    const std::string runaway = dir.File("runaway.pelm");
    ASSERT_EQ(Run({"load", runaway}, R"({"notes": [{"title": "a", "text": "a"}, {"title": "b", "text": ")" +
                                         std::string(40, 'a') + R"(b"}]})")
                  .status,
              0);
    const std::string runawayBytes = NoteBookBytes::Load(runaway);
    EXPECT_EQ(Run({"replace", "--regex", "(a+)+$", "x", runaway}).status, 2)
        << "a pattern that runs away on any note changes none";
    EXPECT_EQ(NoteBookBytes::Load(runaway), runawayBytes);
    EXPECT_EQ(Run({"replace", "a", "b", dir.File("absent.pelm")}).status, 1);
}

// The completion follows --help for every command; ToolHelpTest checks it.
TEST_F(Tool, ReplaceIsInTheHelpTheManualAndTheReadme)
{
    const Result help = Run({"replace", "--help"});
    EXPECT_EQ(help.status, 0);
    for (const char* option : {"--regex", "--match-case", "--words", "--dry-run", "PATTERN", "REPLACEMENT"})
        EXPECT_NE(help.out.find(option), std::string::npos) << option;
    EXPECT_NE(Run({"--help"}).out.find("replace"), std::string::npos);
    const std::string manual = NoteBookBytes::Load(std::string(PELMORA_SOURCE) + "/docs/pelmora-tool.1");
    for (const char* option : {".BI replace", "\\-\\-dry\\-run", "\\-\\-words", "\\-\\-match\\-case"})
        EXPECT_NE(manual.find(option), std::string::npos) << option;
    const std::string readme = NoteBookBytes::Load(std::string(PELMORA_SOURCE) + "/README.md");
    EXPECT_NE(readme.find(
                  "pelmora-tool replace [--regex] [--match-case] [--words] [--dry-run] PATTERN REPLACEMENT"),
              std::string::npos);
}

TEST_F(Tool, AFifoWithAWriterThatNeverWritesIsRefusedAtOnce)
{
    const std::string fifo = dir.File("held.pelm");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const int writer = ::open(fifo.c_str(), O_RDWR); // never writes
    ASSERT_GE(writer, 0);
    for (const char* command : {"info", "dump"}) {
        SCOPED_TRACE(command);
        // The time limit only stops a hang; the refusal comes at once.
        const Result result = Run({command, fifo}, {}, {}, "timeout 20 ");
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.err, "ERROR: Could not read specified file.\n");
    }
    ::close(writer);
}

TEST_F(Tool, ACutEncryptedNotebookIsRefusedByEveryCommand)
{
    std::ofstream(dir.File("cut.pelmx"), std::ios::binary) << "PELMO";
    for (const char* command : {"info", "dump"}) {
        const Result result = Run({command, dir.File("cut.pelmx")});
        EXPECT_EQ(result.status, 1) << command;
        EXPECT_EQ(result.err, "ERROR: The encrypted notebook is cut short; nothing of it was opened.\n");
    }
}

TEST_F(Tool, NoCoreDumpForAnyNotebook)
{
    rlimit core{};
    ASSERT_EQ(::getrlimit(RLIMIT_CORE, &core), 0);
    if (core.rlim_max == 0)
        GTEST_SKIP() << "core dumps are off for this process already";
    WriteRichNoteBook("locked.pelm", TextEncoding::utf8);
    const std::string fifo = dir.File("password");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        rlimit allowed{core.rlim_max, core.rlim_max};
        ::setrlimit(RLIMIT_CORE, &allowed);
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, STDOUT_FILENO);
        ::execl(PELMORA_TOOL, PELMORA_TOOL, "--password-file", fifo.c_str(), "dump",
                dir.File("locked.pelm").c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    // The tool waits in the password file's open; by then it has set its limits.
    int password = -1;
    for (int tries = 0; password < 0 && tries < 2000; ++tries) {
        password = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
        if (password < 0)
            ::usleep(10000);
    }
    std::ifstream limits("/proc/" + std::to_string(child) + "/limits");
    std::string line, coreLine;
    while (std::getline(limits, line))
        if (line.rfind("Max core file size", 0) == 0)
            coreLine = line;
    if (password >= 0) {
        const std::string answer = "p\xC3\xA4ss\n";
        EXPECT_EQ(::write(password, answer.data(), answer.size()), static_cast<ssize_t>(answer.size()));
        ::close(password);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    std::istringstream fields(coreLine.substr(std::strlen("Max core file size")));
    std::string soft;
    fields >> soft;
    EXPECT_EQ(soft, "0") << coreLine;
}
