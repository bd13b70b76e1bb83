#include "model/CNoteBook.h"
#include "platform/CFile.h"
#include "platform/CFileIdentity.h"
#include "support/FakeNoteBookFrame.h"
#include "support/NoteBookBytes.h"
#include "support/TempDir.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

const char* const kCannotCreate = "ERROR: Could not create/modify specified file.";

// The message as the Windows program gave it, then a line that says why.
void ExpectMessage(const std::string& text, const std::string& first)
{
    const auto end = text.find('\n');
    EXPECT_EQ(text.substr(0, end), first);
    EXPECT_NE(end, std::string::npos) << "no reason given";
}

std::vector<std::string> Entries(const fs::path& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// A tmpfs of our own, where the test may mount one (as root); unmounted at the end.
class ScratchMount
{
public:
    ScratchMount(const std::string& folder, const char* options) : m_folder(folder)
    {
        m_mounted = ::mount("tmpfs", folder.c_str(), "tmpfs", 0, options) == 0;
    }
    ~ScratchMount()
    {
        if (m_mounted)
            ::umount2(m_folder.c_str(), MNT_DETACH);
    }
    bool IsMounted() const { return m_mounted; }
    bool MakeReadOnly()
    {
        return ::mount(nullptr, m_folder.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) == 0;
    }

private:
    std::string m_folder;
    bool m_mounted;
};

// Files may not grow past the limit; write() then fails with EFBIG instead of killing us.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        ::getrlimit(RLIMIT_FSIZE, &m_saved);
        m_handler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = m_saved;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &m_saved);
        std::signal(SIGXFSZ, m_handler);
    }

private:
    rlimit m_saved{};
    void (*m_handler)(int);
};

class SafeSave : public ::testing::Test
{
protected:
    void SetUp() override
    {
        folder = dir.File("notes");
        fs::create_directory(folder);
        target = folder + "/book.pelm";
    }

    // The previous save on disk, and a notebook with unsaved changes that came from elsewhere.
    void WriteOldAndChange()
    {
        CNoteBook old;
        old.AddNote(true, true)->SetText("the previous save");
        ASSERT_TRUE(old.WriteFile(target));
        oldBytes = NoteBookBytes::Load(target);
        ASSERT_TRUE(book.GetPath().SetPath(dir.File("elsewhere.pelm")));
        book.AddNote(true, true)->SetText(std::string(300 * 1024, 'n'));
        ASSERT_TRUE(book.IsModified());
    }

    void ExpectRefused(const char* message, const std::vector<std::string>& leftInFolder = {"book.pelm"})
    {
        MessageBoxRecorder boxes;
        EXPECT_FALSE(book.WriteFile(target));
        ASSERT_EQ(boxes.boxes.size(), 1u);
        ExpectMessage(boxes.boxes[0].text, message);
        EXPECT_EQ(boxes.boxes[0].style, 48u);
        EXPECT_EQ(NoteBookBytes::Load(target), oldBytes) << "the old file stays byte for byte";
        EXPECT_EQ(Entries(folder), leftInFolder) << "no temporary file is left";
        EXPECT_TRUE(book.IsModified());
        EXPECT_EQ(book.GetPath().GetPath(), dir.File("elsewhere.pelm"));
    }

    TempDir dir;
    std::string folder;
    std::string target;
    std::string oldBytes;
    CNoteBook book;
};

} // namespace

TEST_F(SafeSave, ReadOnlyFolderKeepsTheOldFile)
{
    std::unique_ptr<ScratchMount> mount;
    if (::geteuid() == 0) {
        // Permission bits do not stop root: use a file system mounted read-only instead.
        mount = std::make_unique<ScratchMount>(folder, "size=1m");
        if (!mount->IsMounted())
            GTEST_SKIP() << "running as root without the right to mount";
    }
    WriteOldAndChange();
    if (mount)
        ASSERT_TRUE(mount->MakeReadOnly());
    else
        fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec);
    ExpectRefused(kCannotCreate);
    if (!mount)
        fs::permissions(folder, fs::perms::owner_all); // so that the folder can be removed
}

TEST_F(SafeSave, WriteErrorPastTheFileSizeLimitKeepsTheOldFile)
{
    WriteOldAndChange();
    FileSizeLimit limit(64 * 1024); // write() fails with EFBIG past 64 KB
    ExpectRefused(kCannotWrite);
}

TEST_F(SafeSave, FullDiskKeepsTheOldFile)
{
    ScratchMount small(folder, "size=64k");
    if (!small.IsMounted())
        GTEST_SKIP() << "no tmpfs of our own here; the file size limit stands for the full disk";
    WriteOldAndChange();
    ExpectRefused(kCannotWrite);
}

TEST_F(SafeSave, TargetsThatCannotBeReplacedAreRefused)
{
    WriteOldAndChange();
    {
        // Another Pelmora is reading it.
        CFile reader;
        ASSERT_TRUE(reader.Open(target, CFile::modeRead | CFile::shareDenyWrite));
        ExpectRefused(kCannotCreate);
    }
    target = dir.File("no-such-folder/book.pelm");
    {
        MessageBoxRecorder boxes;
        EXPECT_FALSE(book.WriteFile(target));
        ASSERT_EQ(boxes.boxes.size(), 1u);
        ExpectMessage(boxes.boxes[0].text, kCannotCreate);
    }
    target = folder; // a folder is never replaced
    {
        MessageBoxRecorder boxes;
        EXPECT_FALSE(book.WriteFile(target));
        ASSERT_EQ(boxes.boxes.size(), 1u);
        ExpectMessage(boxes.boxes[0].text, kCannotCreate);
    }
    EXPECT_TRUE(fs::is_directory(folder));
    EXPECT_TRUE(book.IsModified());
}

TEST_F(SafeSave, NoOtherPelmoraOpensTheFileWhileItIsWritten)
{
    WriteOldAndChange();
    // The frame is asked for the view settings in the middle of the save.
    struct ProbingFrame : FakeNoteBookFrame
    {
        void GetTextFont(LogFont& f) const override
        {
            CFile probe;
            openedDuringSave = probe.Open(path, CFile::modeRead | CFile::shareDenyWrite);
            FakeNoteBookFrame::GetTextFont(f);
        }
        std::string path;
        mutable bool openedDuringSave = true;
    } frame;
    frame.path = target;
    CNoteBook framed;
    framed.AddNote(true, true);
    ASSERT_TRUE(framed.WriteFile(target));
    EXPECT_FALSE(frame.openedDuringSave);

    CFile writer;
    ASSERT_TRUE(writer.Open(target, CFile::modeWrite | CFile::shareExclusive));
    MessageBoxRecorder boxes;
    CNoteBook reader;
    EXPECT_FALSE(reader.ReadFile(target));
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].text, "ERROR: Could not read specified file.");
}

TEST_F(SafeSave, SymbolicLinksStayAndPermissionBitsAreKept)
{
    WriteOldAndChange();
    fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    const std::string link = dir.File("link.pelm");
    const std::string chain = dir.File("chain.pelm");
    fs::create_symlink("notes/book.pelm", link);
    fs::create_symlink(link, chain);

    ASSERT_TRUE(book.WriteFile(chain));
    EXPECT_TRUE(fs::is_symlink(chain));
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(book.GetPath().GetPath(), chain);
    EXPECT_FALSE(book.IsModified());
    EXPECT_EQ(fs::status(target).permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    CNoteBook again;
    ASSERT_TRUE(again.ReadFile(target));
    EXPECT_EQ(again.GetNoteAt(1)->GetText().size(), 300u * 1024u);
    EXPECT_EQ(Entries(folder), (std::vector<std::string>{"book.pelm"}));

    // A new file gets the usual bits; a link to nothing yet makes the file it names.
    const mode_t saved = ::umask(027);
    fs::create_symlink("notes/new.pelm", dir.File("dangling.pelm"));
    EXPECT_TRUE(book.WriteFile(dir.File("dangling.pelm")));
    ::umask(saved);
    EXPECT_TRUE(fs::is_symlink(dir.File("dangling.pelm")));
    EXPECT_EQ(fs::status(folder + "/new.pelm").permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

TEST_F(SafeSave, AKilledSaveLeavesTheOldFileAndNothingBesideIt)
{
    WriteOldAndChange();
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Killed in the middle of writing: the frame is asked for its font after the header began.
        struct DyingFrame : FakeNoteBookFrame
        {
            void GetTextFont(LogFont&) const override { ::raise(SIGKILL); }
        } frame;
        book.WriteFile(target);
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
    EXPECT_EQ(NoteBookBytes::Load(target), oldBytes);
    EXPECT_EQ(Entries(folder), std::vector<std::string>{"book.pelm"}) << "the file being written has no name";

    // What a kill left under a temporary name, where the file system gives no unnamed files.
    std::ofstream(folder + "/.book.pelm.Ab12Cd") << "half a notebook";
    std::ofstream(folder + "/.other.pelm.Ab12Cd") << "another file's";
    ASSERT_TRUE(book.WriteFile(target));
    EXPECT_EQ(Entries(folder), (std::vector<std::string>{".other.pelm.Ab12Cd", "book.pelm"}))
        << "the next save of the notebook removes what an old kill left";
}

TEST(FileIdentity, TellsAChangeOfTheSameSizeWithinOneSecond)
{
    TempDir dir;
    const std::string path = dir.File("book.pelm");
    const auto write = [&](const char* text, long nanoseconds) {
        std::ofstream(path, std::ios::trunc) << text;
        const timespec times[2] = {{1700000000, nanoseconds}, {1700000000, nanoseconds}};
        ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    };
    write("first", 0);
    const CFileIdentity whole = CFileIdentity::Of(path);
    EXPECT_EQ(CFileIdentity::Of(path), whole);
    write("other", 0);
    EXPECT_NE(CFileIdentity::Of(path), whole) << "whole seconds only: the contents tell";
    write("first", 5);
    EXPECT_NE(CFileIdentity::Of(path), whole) << "the nanoseconds tell";
    EXPECT_FALSE(CFileIdentity::Of(dir.File("missing")).Exists());
}
