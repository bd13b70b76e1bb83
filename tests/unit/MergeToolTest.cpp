#include "model/CEncryptedFile.h"
#include "model/CNoteBook.h"
#include "model/CNoteBookSecret.h"
#include "support/NoteBookBytes.h"
#include "support/PasswordAnswer.h"
#include "support/ShellQuote.h"
#include "support/TempDir.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sys/wait.h>

namespace {

using Notes = std::vector<std::pair<std::string, std::string>>;

const std::string kSuffix = " (changed elsewhere)";

class MergeTool : public ::testing::Test
{
protected:
    struct Result
    {
        int status;
        std::string out;
        std::string err;
    };

    // A shell command in the test's folder; its status, output and errors.
    Result Shell(const std::string& command)
    {
        const std::string full = "cd " + ShellQuoted(dir.Path().string()) + " && (" + command + ") >" +
                                 ShellQuoted(dir.File("stdout")) + " 2>" + ShellQuoted(dir.File("stderr"));
        const int raw = std::system(full.c_str());
        return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, NoteBookBytes::Load(dir.File("stdout")),
                NoteBookBytes::Load(dir.File("stderr"))};
    }

    Result Tool(const std::vector<std::string>& args)
    {
        std::string command = ShellQuoted(PELMORA_TOOL);
        for (const std::string& arg : args)
            command += " " + ShellQuoted(arg);
        return Shell(command + " </dev/null");
    }

    std::string Write(const std::string& name, const Notes& notes, const std::string& password = {})
    {
        CNoteBook book;
        book.SetPassword(password);
        for (const auto& [title, text] : notes) {
            CNote* note = book.AddNote(true, true);
            note->SetTitle(title);
            note->SetText(text);
        }
        const std::string path = dir.File(name);
        EXPECT_TRUE(book.WriteFile(path));
        return path;
    }

    Notes Read(const std::string& path)
    {
        CNoteBook book;
        EXPECT_TRUE(book.ReadFile(path)) << path;
        Notes notes;
        for (std::size_t i = 0; i < book.GetCount(); ++i)
            notes.emplace_back(book.GetNoteAtIndex(i)->GetTitle(), book.GetNoteAtIndex(i)->GetText());
        return notes;
    }

    TempDir dir;
    MessageBoxRecorder boxes;
};

const Notes kBase = {{"Plan", "one\ntwo\nthree\n"}, {"List", "eggs\n"}, {"Old", "x\n"}};

} // namespace

TEST_F(MergeTool, MergesIntoOursWithTheExitStatusOfAGitMergeDriver)
{
    const std::string base = Write("base.pelm", kBase);
    const std::string ours =
        Write("ours.pelm", {{"Plan", "one\nTWO\nthree\n"}, {"List", "eggs\n"}, {"Old", "x\n"}});
    const std::string theirs =
        Write("theirs.pelm", {{"Plan", "one\ntwo\nthree\n"}, {"List", "eggs\nmilk\n"}});
    Result r = Tool({"merge", base, ours, theirs});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Read(ours), (Notes{{"Plan", "one\nTWO\nthree\n"}, {"List", "eggs\nmilk\n"}}));

    // Both changed Plan: both kept, ours first, and the status says so. -o leaves ours alone.
    const std::string mine = Write("mine.pelm", {{"Plan", "mine\n"}, {"List", "eggs\n"}, {"Old", "x\n"}});
    const std::string other = Write("other.pelm", {{"Plan", "other\n"}, {"List", "eggs\n"}, {"Old", "x\n"}});
    r = Tool({"merge", base, mine, other, "-o", dir.File("out.pelm")});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("(changed elsewhere)"), std::string::npos);
    EXPECT_EQ(Read(dir.File("out.pelm")),
              (Notes{{"Plan", "mine\n"}, {"Plan" + kSuffix, "other\n"}, {"List", "eggs\n"}, {"Old", "x\n"}}));
    EXPECT_EQ(Read(mine), (Notes{{"Plan", "mine\n"}, {"List", "eggs\n"}, {"Old", "x\n"}}));

    // An empty ancestor (git's for a file added on both branches) merges two-way.
    std::ofstream(dir.File("empty.pelm"));
    r = Tool({"merge", dir.File("empty.pelm"), mine, other, "-o", dir.File("two.pelm")});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(Read(dir.File("two.pelm")).size(), 4u);

    // A side that cannot be read is an error, not a conflict, and ours stays as it was.
    const std::string before = NoteBookBytes::Load(mine);
    r = Tool({"merge", base, mine, dir.File("missing.pelm")});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(NoteBookBytes::Load(mine), before);
    EXPECT_EQ(Tool({"merge", base, mine}).status, 2);
}

// A side the reader had to fill out cannot tell its lost notes from deleted ones.
TEST_F(MergeTool, ADamagedSideOrAMissingBaseMergesNothing)
{
    const std::string base = Write("base.pelm", kBase);
    const std::string ours = Write("ours.pelm", {{"Plan", "mine\n"}, {"List", "eggs\n"}, {"Old", "x\n"}});
    const std::string whole = NoteBookBytes::Load(base);
    // The header counts one note more than the records hold: Old was cut off.
    NoteBookBytes cut{whole};
    cut.bytes[4] = 4;
    cut.Save(dir.File("cut.pelm"));
    NoteBookBytes{whole + "junk"}.Save(dir.File("trailing.pelm"));
    const std::string before = NoteBookBytes::Load(ours);
    for (const std::string damaged : {"cut.pelm", "trailing.pelm"}) {
        SCOPED_TRACE(damaged);
        for (const bool asTheirs : {true, false}) {
            const std::string side = dir.File(damaged);
            const Result r = Tool(
                {"merge", base, asTheirs ? ours : side, asTheirs ? side : ours, "-o", dir.File("out.pelm")});
            EXPECT_EQ(r.status, 2);
            EXPECT_NE(r.err.find(side + " is damaged"), std::string::npos) << r.err;
            EXPECT_FALSE(std::filesystem::exists(dir.File("out.pelm")));
        }
        EXPECT_EQ(Tool({"merge", base, ours, dir.File(damaged)}).status, 2);
        EXPECT_EQ(NoteBookBytes::Load(ours), before);
    }

    // A base that is not there is no empty one: no two-way merge that keeps what a side deleted.
    const Result r = Tool({"merge", dir.File("missing.pelm"), ours, base});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("cannot read the base " + dir.File("missing.pelm")), std::string::npos) << r.err;
    EXPECT_EQ(NoteBookBytes::Load(ours), before);
}

// The merged notes are numbered 1 to N as the reader numbers them: one side unchanged gives the
// other's bytes.
TEST_F(MergeTool, AMergeWithOneSideUnchangedWritesTheOtherSidesBytes)
{
    const std::string a = Write("a.pelm", kBase);
    const std::string b = Write("b.pelm", {{"New", "n\n"}, {"Plan", "one\n2\nthree\n"}, {"Old", "x\n"}});
    EXPECT_EQ(Tool({"merge", a, a, b, "-o", dir.File("ab.pelm")}).status, 0);
    EXPECT_EQ(NoteBookBytes::Load(dir.File("ab.pelm")), NoteBookBytes::Load(b));
    EXPECT_EQ(Tool({"merge", a, b, a, "-o", dir.File("ba.pelm")}).status, 0);
    EXPECT_EQ(NoteBookBytes::Load(dir.File("ba.pelm")), NoteBookBytes::Load(b));
}

TEST_F(MergeTool, LockedAndEncryptedNotebooksMergeWithTheirSecretsAndStaySo)
{
    const std::string base = Write("base.pelm", kBase, "pass1");
    const std::string ours =
        Write("ours.pelm", {{"Plan", "p\n"}, {"List", "eggs\n"}, {"Old", "x\n"}}, "pass1");
    const std::string theirs =
        Write("theirs.pelm", {{"Plan", "one\ntwo\nthree\n"}, {"List", "eggs\n"}}, "pass1");
    std::ofstream(dir.File("pw")) << "pass1\n";
    EXPECT_EQ(Tool({"--password-file", dir.File("pw"), "merge", base, ours, theirs}).status, 0);
    {
        PasswordAnswer answer("pass1");
        EXPECT_EQ(Read(ours), (Notes{{"Plan", "p\n"}, {"List", "eggs\n"}}));
    }
    EXPECT_EQ(Tool({"merge", base, ours, theirs}).status, 2) << "no password given";

    const CSealKey::Params cheap{1, 8192};
    for (const std::string name : {"base.pelmx", "ours.pelmx", "theirs.pelmx"}) {
        CNoteBook book;
        for (const auto& [title, text] : name == "ours.pelmx" ? Notes{{"Plan", "secret plan\n"}} : kBase) {
            CNote* note = book.AddNote(true, true);
            note->SetTitle(title);
            note->SetText(text);
        }
        book.SetSecret(CNoteBookSecret::Create(CSecureBytes(std::string_view("correct horse")), cheap));
        ASSERT_TRUE(book.WriteFile(dir.File(name)));
    }
    std::ofstream(dir.File("phrase")) << "correct horse\n";
    const Result r = Tool({"--password-file", dir.File("phrase"), "merge", dir.File("base.pelmx"),
                           dir.File("ours.pelmx"), dir.File("theirs.pelmx")});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(CEncryptedFile::HasMagic(dir.File("ours.pelmx")));
    PasswordAnswer answer("correct horse");
    EXPECT_EQ(Read(dir.File("ours.pelmx")), (Notes{{"Plan", "secret plan\n"}}));

    // Merged with theirs unchanged, the plain notebook inside is ours, byte for byte.
    const std::string key = dir.File("phrase");
    ASSERT_EQ(Tool({"--password-file", key, "decrypt", dir.File("ours.pelmx"), dir.File("ours.pelm")}).status,
              0);
    ASSERT_EQ(Tool({"--password-file", key, "merge", dir.File("base.pelmx"), dir.File("theirs.pelmx"),
                    dir.File("ours.pelmx"), "-o", dir.File("merged.pelmx")})
                  .status,
              0);
    ASSERT_EQ(
        Tool({"--password-file", key, "decrypt", dir.File("merged.pelmx"), dir.File("merged.pelm")}).status,
        0);
    EXPECT_EQ(NoteBookBytes::Load(dir.File("merged.pelm")), NoteBookBytes::Load(dir.File("ours.pelm")));
}

TEST_F(MergeTool, DiffListsNotesAddedRemovedMovedAndChangedWithTheChangedLines)
{
    const std::string a =
        Write("a.pelm", {{"Plan", "one\ntwo\nthree\n"}, {"List", "eggs\n"}, {"Old", "x\n"}, {"Z", "z"}});
    const std::string b =
        Write("b.pelm", {{"Z", "z"}, {"Plan", "one\n2\nthree\n"}, {"List", "eggs\n"}, {"New", "n"}});
    const Result r = Tool({"diff", a, b});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "removed 3: Old\n"
                     "moved 4 -> 1: Z\n"
                     "changed 2: Plan\n"
                     "    @@ -1,3 +1,3 @@\n"
                     "     one\n"
                     "    -two\n"
                     "    +2\n"
                     "     three\n"
                     "added 4: New\n");
    EXPECT_EQ(Tool({"diff", a, a}).status, 0);
    EXPECT_EQ(Tool({"diff", a, dir.File("missing.pelm")}).status, 2);
}

// The completion follows --help for every command; ToolHelpTest checks it.
TEST_F(MergeTool, HelpManPageAndReadmeAgree)
{
    const std::string help = Tool({"--help"}).out;
    const std::string man = NoteBookBytes::Load(PELMORA_SOURCE "/docs/pelmora-tool.1");
    const std::string readme = NoteBookBytes::Load(PELMORA_SOURCE "/README.md");
    for (const std::string command : {"merge", "diff", "show"}) {
        EXPECT_NE(help.find("  " + command + " "), std::string::npos) << command;
        EXPECT_NE(man.find(".BI " + command + " "), std::string::npos) << command;
        EXPECT_NE(readme.find("pelmora-tool " + command + " "), std::string::npos) << command;
    }
    EXPECT_NE(Tool({"merge", "--help"}).out.find("-o,--output"), std::string::npos);
    // The exit status 2 of a merge, in all three.
    EXPECT_NE(help.find("2 nothing written (a file unreadable or damaged)"), std::string::npos);
    for (const std::string* text : {&man, &readme})
        EXPECT_NE(text->find("2 when nothing was written: a notebook could not be read"), std::string::npos);
    EXPECT_NE(man.find("\\-o"), std::string::npos);
    EXPECT_NE(readme.find("merge.pelmora.driver"), std::string::npos);
    EXPECT_NE(readme.find("diff.pelmora.textconv"), std::string::npos);
}

// The real git with the driver and the textconv as the README gives them.
class MergeToolGit : public MergeTool
{
protected:
    void SetUp() override
    {
        if (std::system("git --version >/dev/null 2>&1") != 0)
            GTEST_SKIP() << "git is not installed";
        setenv("HOME", dir.Path().c_str(), 1);
        setenv("GIT_CONFIG_NOSYSTEM", "1", 1);
        const std::string tool = ShellQuoted(PELMORA_TOOL);
        ASSERT_EQ(Shell("git init -q -b main repo && cd repo && git config user.name T && git config "
                        "user.email t@e && "
                        "git config merge.pelmora.name Pelmora && "
                        "git config merge.pelmora.driver " +
                        ShellQuoted(tool + " merge %O %A %B") +
                        " && "
                        "git config diff.pelmora.textconv " +
                        ShellQuoted(tool + " show") +
                        " && "
                        "echo '*.pelm merge=pelmora diff=pelmora' > .gitattributes")
                      .status,
                  0);
        Write("repo/book.pelm", kBase);
        ASSERT_EQ(Shell("cd repo && git add . && git commit -qm base && git branch other").status, 0);
    }

    void Commit(const std::string& branch, const Notes& notes)
    {
        ASSERT_EQ(Shell("cd repo && git checkout -q " + branch).status, 0);
        Write("repo/book.pelm", notes);
        ASSERT_EQ(Shell("cd repo && git commit -qam " + branch).status, 0);
    }
};

TEST_F(MergeToolGit, BranchesEditingDifferentNotesMergeCleanly)
{
    Commit("main", {{"Plan", "one\nTWO\nthree\n"}, {"List", "eggs\n"}, {"Old", "x\n"}});
    Commit("other",
           {{"Plan", "one\ntwo\nthree\n"}, {"List", "eggs\nmilk\n"}, {"Old", "x\n"}, {"New", "n\n"}});
    const Result merge = Shell("cd repo && git checkout -q main && git merge -q --no-edit other");
    EXPECT_EQ(merge.status, 0) << merge.err;
    EXPECT_EQ(
        Read(dir.File("repo/book.pelm")),
        (Notes{{"Plan", "one\nTWO\nthree\n"}, {"List", "eggs\nmilk\n"}, {"Old", "x\n"}, {"New", "n\n"}}));

    // git diff through the textconv shows the changed note's lines.
    const Result diff = Shell("cd repo && git diff HEAD~1 HEAD -- book.pelm");
    EXPECT_EQ(diff.status, 0);
    EXPECT_NE(diff.out.find("+milk"), std::string::npos) << diff.out;
    EXPECT_NE(diff.out.find("=== 2: List"), std::string::npos) << diff.out;
}

TEST_F(MergeToolGit, BothBranchesEditingOneNoteKeepBothAndReportAConflict)
{
    Commit("main", {{"Plan", "main's plan\n"}, {"List", "eggs\n"}, {"Old", "x\n"}});
    Commit("other", {{"Plan", "other's plan\n"}, {"List", "eggs\n"}, {"Old", "x\n"}});
    const Result merge = Shell("cd repo && git checkout -q main && git merge --no-edit other");
    EXPECT_NE(merge.status, 0);
    EXPECT_NE(merge.out.find("CONFLICT"), std::string::npos) << merge.out;
    EXPECT_EQ(Read(dir.File("repo/book.pelm")), (Notes{{"Plan", "main's plan\n"},
                                                       {"Plan" + kSuffix, "other's plan\n"},
                                                       {"List", "eggs\n"},
                                                       {"Old", "x\n"}}));
}
