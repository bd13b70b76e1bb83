#include "model/CEncryptedFile.h"
#include "model/CNoteBook.h"
#include "model/CNoteBookWriter.h"
#include "model/CNoteFiles.h"
#include "platform/CBackupStore.h"
#include "platform/CFileIdentity.h"
#include "platform/CRecoverySlot.h"
#include "platform/CSafeSaveGroup.h"
#include "support/FaultyCalls.h"
#include "support/NoteBookBytes.h"
#include "support/ScopedCount.h"
#include "support/TempDir.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

bool StartsWith(const std::string& text, const std::string& start)
{
    return text.compare(0, start.size(), start) == 0;
}

mode_t ModeOf(const std::string& path)
{
    struct stat st
    {
    };
    return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

std::string TitleOn(const std::string& path)
{
    CNoteBook book;
    if (!book.ReadFile(path) || book.GetCount() == 0)
        return "(unreadable)";
    return book.GetNoteAtIndex(0)->GetTitle();
}

class SaveEdges : public ::testing::Test
{
protected:
    // Saves a notebook whose one note is titled so, keeping the replaced file in the backup folder.
    bool SaveVersion(const std::string& title, bool* backupKept = nullptr)
    {
        if (book.GetCount() == 0)
            book.AddNote(true, true);
        book.GetNoteAtIndex(0)->SetTitle(title);
        book.SetModified();
        CNoteBookWriter writer(book);
        const bool written = writer.Write(path, backups);
        if (backupKept)
            *backupKept = writer.BackupKept();
        return written;
    }
    std::string Backup(int generation) { return CBackupStore::BackupPath(path, backups, generation); }

    TempDir dir;
    std::string path = dir.File("book.pelm");
    std::string backups = dir.File("state/pelmora/backups");
    CNoteBook book;
    MessageBoxRecorder boxes;
};

} // namespace

TEST_F(SaveEdges, OnAnotherFileSystemTheBackupIsAPlainCopyWithTheNotebooksMode)
{
    ASSERT_TRUE(SaveVersion("v1"));
    ASSERT_EQ(::chmod(path.c_str(), 0600), 0);
    // A USB stick, a tmpfs, a network share: no link, no clone, no range copy across devices.
    FaultyCalls exdev([&](const std::string& call, const std::string& to) {
        return (call == "Link" && to == Backup(0)) || call == "Clone" || call == "CopyRange" ? EXDEV : 0;
    });
    bool kept = false;
    ASSERT_TRUE(SaveVersion("v2", &kept));
    EXPECT_TRUE(kept);
    EXPECT_EQ(TitleOn(Backup(1)), "v1");
    EXPECT_EQ(ModeOf(Backup(1)), 0600u) << "a private notebook stays private in its backup";
    EXPECT_EQ(TitleOn(path), "v2");
    EXPECT_FALSE(fs::exists(Backup(0)));
}

TEST_F(SaveEdges, ABackupThatCannotBeKeptIsSaidAndTheSaveStillHappens)
{
    ASSERT_TRUE(SaveVersion("v1"));
    FaultyCalls full([&](const std::string& call, const std::string& to) {
        return (call == "Link" && StartsWith(to, backups)) || call == "Clone" || call == "CopyRange" ? EXDEV
               : call == "Open" && StartsWith(to, backups)                                           ? ENOSPC
                                                                                                     : 0;
    });
    bool kept = true;
    ASSERT_TRUE(SaveVersion("v2", &kept));
    EXPECT_FALSE(kept);
    EXPECT_EQ(TitleOn(path), "v2");
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(SaveEdges, AFailedSaveLeavesTheBackupsAsTheyWere)
{
    ASSERT_TRUE(SaveVersion("v1"));
    ASSERT_TRUE(SaveVersion("v2"));
    {
        FaultyCalls renameFails([&](const std::string& call, const std::string& from) {
            return call == "Rename" && StartsWith(from, dir.File(".book.pelm.")) ? EIO : 0;
        });
        EXPECT_FALSE(SaveVersion("v3"));
    }
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_TRUE(StartsWith(boxes.boxes[0].text, "ERROR: Could not create/modify specified file.\n"));
    EXPECT_EQ(TitleOn(Backup(1)), "v1");
    EXPECT_FALSE(fs::exists(Backup(2)));
    EXPECT_FALSE(fs::exists(Backup(0)));
    ASSERT_TRUE(SaveVersion("v3"));
    EXPECT_EQ(TitleOn(Backup(1)), "v2");
    EXPECT_EQ(TitleOn(Backup(2)), "v1") << "the oldest version is still there";
}

TEST_F(SaveEdges, TheNewFileHasNoNameWhileTheOldOneIsSetAside)
{
    ASSERT_TRUE(SaveVersion("v1"));
    std::vector<std::string> seen;
    FaultyCalls watch([&](const std::string& call, const std::string& to) {
        if (call == "Link" && StartsWith(to, backups))
            for (const auto& entry : fs::directory_iterator(dir.Path()))
                seen.push_back(entry.path().filename().string());
        return 0;
    });
    ASSERT_TRUE(SaveVersion("v2"));
    ASSERT_FALSE(seen.empty());
    for (const std::string& name : seen)
        EXPECT_FALSE(StartsWith(name, ".book.pelm.")) << name << " is a full-size file a kill would leave";
}

TEST_F(SaveEdges, TheStateFoldersAreTheUsersAlone)
{
    fs::create_directories(dir.File("state/pelmora/backups"));
    ::chmod(dir.File("state/pelmora").c_str(), 0755);
    ::chmod(backups.c_str(), 0755);
    ASSERT_TRUE(SaveVersion("v1"));
    ASSERT_TRUE(SaveVersion("v2"));
    EXPECT_EQ(ModeOf(dir.File("state/pelmora")), 0700u) << "existing folders are tightened";
    EXPECT_EQ(ModeOf(backups), 0700u);

    const std::string fresh = dir.File("fresh/pelmora/recovery");
    CRecoverySlot slot(fresh);
    ASSERT_EQ(slot.TakeForPath(path), CRecoverySlot::Result::Taken);
    EXPECT_EQ(ModeOf(dir.File("fresh/pelmora")), 0700u) << "new folders are made private";
    EXPECT_EQ(ModeOf(fresh), 0700u);
}

TEST_F(SaveEdges, SaveErrorsSayWhyOnASecondLine)
{
    ASSERT_TRUE(SaveVersion("v1"));
    {
        FaultyCalls full(
            [](const std::string& call, const std::string&) { return call == "Write" ? ENOSPC : 0; });
        EXPECT_FALSE(SaveVersion("v2"));
    }
    {
        FaultyCalls denied([&](const std::string& call, const std::string& at) {
            return call == "Open" && at != path ? EACCES : 0;
        });
        EXPECT_FALSE(SaveVersion("v2"));
    }
    ASSERT_EQ(boxes.boxes.size(), 2u);
    EXPECT_EQ(boxes.boxes[0].text, "ERROR: Could not write file.\nThe disk is full.");
    EXPECT_EQ(boxes.boxes[1].text, "ERROR: Could not create/modify specified file.\nPermission denied.");
    EXPECT_EQ(TitleOn(path), "v1");
}

// Until its folder is synced the rename may not survive a crash: the save is not done, though the
// file it replaced is kept as a backup all the same.
TEST_F(SaveEdges, ASaveWhoseFolderCannotBeSyncedFailsAndKeepsTheReplacedFile)
{
    ASSERT_TRUE(SaveVersion("v0"));
    ASSERT_TRUE(SaveVersion("v1"));
    {
        FaultyCalls syncFails([&](const std::string& call, const std::string& at) {
            return call == "Fsync" && at == fs::canonical(dir.Path()).string() ? EIO : 0;
        });
        bool kept = false;
        EXPECT_FALSE(SaveVersion("v2", &kept));
        EXPECT_TRUE(kept);
        EXPECT_FALSE(book.WriteFile(path)) << "the tool's save too";
    }
    ASSERT_EQ(boxes.boxes.size(), 2u);
    EXPECT_EQ(boxes.boxes[0].text,
              "ERROR: Could not create/modify specified file.\nThe disk reported an input/output error.");
    EXPECT_TRUE(book.IsModified());
    EXPECT_EQ(TitleOn(Backup(1)), "v1");
    EXPECT_FALSE(fs::exists(Backup(0)));
}

// Killed between replacing the notebook and moving its backups on, a save leaves the file it
// replaced set aside; the next save keeps it as the newest backup instead of dropping it.
TEST_F(SaveEdges, AFileSetAsideByAKilledSaveBecomesTheNewestBackup)
{
    for (const char* version : {"v1", "v2", "v3"})
        ASSERT_TRUE(SaveVersion(version));
    fs::rename(Backup(1), Backup(0));
    ASSERT_TRUE(SaveVersion("v4"));
    EXPECT_EQ(TitleOn(Backup(1)), "v3");
    EXPECT_EQ(TitleOn(Backup(2)), "v2");
    EXPECT_FALSE(fs::exists(Backup(0)));
    fs::create_hard_link(path, Backup(0));
    ASSERT_TRUE(SaveVersion("v5"));
    EXPECT_EQ(TitleOn(Backup(1)), "v4")
        << "one set aside before a kill is the notebook: no backup of its own";
    EXPECT_EQ(TitleOn(Backup(2)), "v3");
}

// A full disk midway through an export leaves the files it did not finish as they were and names
// the first of them. Files reach the disk a group at a time, in one sync of the file system each, and
// take their names only after it: a failure within a group puts the whole files before it in place,
// and a failed sync names none of its group.
TEST_F(SaveEdges, AnExportThatRunsOutOfDiskLeavesEveryEarlierFileWhole)
{
    const std::vector<std::string> titles{"first", "second", "third", "fourth", "fifth"};
    for (const std::string& title : titles)
        book.AddNote(true, true)->SetTitle(title);
    const auto texts = [&](char fill) {
        for (std::size_t i = 0; i < book.GetCount(); ++i)
            book.GetNoteAtIndex(i)->SetText(std::string(300000, fill));
        return CNoteFiles::AllNotes(book);
    };
    const auto fills = [&] {
        std::string fill;
        for (std::size_t i = 0; i < titles.size(); ++i) {
            const std::string text =
                NoteBookBytes::Load(dir.File("out/" + std::to_string(i + 1) + " " + titles[i] + ".txt"));
            fill += text == std::string(300000, text[0]) ? text[0] : '?';
        }
        return fill;
    };
    std::string error;
    ASSERT_TRUE(CNoteFiles::WriteFolder(texts('a'), dir.File("out"), error)) << error;
    ASSERT_TRUE(CNoteFiles::WriteMarkdown(texts('a'), dir.File("out.md"), error)) << error;
    const std::string earlier = NoteBookBytes::Load(dir.File("out.md"));
    {
        int writes = 0;
        FaultyCalls full([&](const std::string& call, const std::string&) {
            return call == "Write" && ++writes % 2 == 0 ? ENOSPC : 0;
        });
        EXPECT_FALSE(CNoteFiles::WriteFolder(texts('b'), dir.File("out"), error));
        EXPECT_EQ(error, "cannot write " + dir.File("out/2 second.txt") + ": The disk is full.");
        writes = 0;
        EXPECT_FALSE(CNoteFiles::WriteMarkdown(texts('b'), dir.File("out.md"), error));
        EXPECT_EQ(error, "cannot write " + dir.File("out.md") + ": The disk is full.");
    }
    EXPECT_EQ(fills(), "baaaa");
    EXPECT_EQ(NoteBookBytes::Load(dir.File("out.md")), earlier) << "cut in its second write";

    // Two files a group, each export over the one before: its fill, the call failed at its nth time,
    // the Cancel after so many notes, then what it says and leaves. The folder alone is fsynced.
    const ScopedCount<CSafeSaveGroup::SetFilesPerGroup> pairs(2);
    const struct
    {
        char fill;
        const char* failed;
        int nth;
        int errorNumber;
        std::size_t cancelAfter;
        std::string error;
        int fileSyncs;
        const char* after;
    } exports[] = {
        {'c', "", 0, 0, 0, "", 3, "ccccc"},
        // The third, alone in its group when the fourth fails, is in place.
        {'d', "Write", 4, ENOSPC, 0, "cannot write " + dir.File("out/4 fourth.txt") + ": The disk is full.",
         2, "dddcc"},
        // A group whose sync failed takes no name.
        {'e', "SyncFileSystem", 2, EIO, 0,
         "cannot write " + dir.File("out") + ": The disk reported an input/output error.", 2, "eedcc"},
        {'f', "", 0, 0, 3, "", 2, "fffcc"},
    };
    for (const auto& run : exports) {
        std::map<std::string, int> calls;
        std::vector<std::string> fsyncs;
        error.clear();
        {
            FaultyCalls faulty([&](const std::string& call, const std::string& at) {
                if (call == "Fsync")
                    fsyncs.push_back(at);
                return ++calls[call] == run.nth && call == run.failed ? run.errorNumber : 0;
            });
            const auto progress = [&](std::size_t done, std::size_t) { return done != run.cancelAfter; };
            EXPECT_EQ(CNoteFiles::WriteFolder(texts(run.fill), dir.File("out"), error, progress),
                      run.errorNumber == 0 && run.cancelAfter == 0);
        }
        EXPECT_EQ(error, run.error);
        EXPECT_EQ(calls["SyncFileSystem"], run.fileSyncs) << run.fill;
        EXPECT_EQ(fsyncs, std::vector<std::string>{fs::canonical(dir.File("out")).string()}) << run.fill;
        EXPECT_EQ(fills(), run.after);
    }
    for (const auto& entry : fs::directory_iterator(dir.File("out")))
        EXPECT_NE(entry.path().filename().string()[0], '.') << "a temporary stays";
}

TEST_F(SaveEdges, AFifoIsRefusedBeforeAnythingIsReadEvenWithAWriterThatNeverWrites)
{
    const std::string fifo = dir.File("pipe.pelm");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // Holding it open for writing, and never writing: a read would wait for ever.
    const int writer = ::open(fifo.c_str(), O_RDWR);
    ASSERT_GE(writer, 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::alarm(20);
        CNoteBook reader;
        ::_exit(reader.ReadFile(fifo) ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ::close(writer);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "refused, not hung";
}

TEST_F(SaveEdges, ACutEncryptedNotebookIsRefused)
{
    for (std::size_t size = 1; size < sizeof CEncryptedFile::kMagic; ++size) {
        const std::string cut = dir.File("cut.pelmx");
        std::ofstream(cut, std::ios::binary | std::ios::trunc).write(CEncryptedFile::kMagic, size);
        boxes.boxes.clear();
        CNoteBook reader;
        EXPECT_FALSE(reader.ReadFile(cut)) << size << " bytes";
        ASSERT_EQ(boxes.boxes.size(), 1u);
        EXPECT_EQ(boxes.boxes[0].text,
                  "ERROR: The encrypted notebook is cut short; nothing of it was opened.");
    }
}

TEST_F(SaveEdges, APlainNotebookIsNeverWrittenUnderAnEncryptedName)
{
    book.AddNote(true, true)->SetText("secret");
    EXPECT_FALSE(book.WriteFile(dir.File("book.pelmx")));
    EXPECT_FALSE(fs::exists(dir.File("book.pelmx")));
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_TRUE(book.IsModified());
}

TEST(FileIdentityChange, AnInPlaceWriteWithTheTimePutBackIsSeen)
{
    TempDir dir;
    const std::string path = dir.File("book.pelm");
    const timespec times[2] = {{1700000000, 123456789}, {1700000000, 123456789}};
    std::ofstream(path) << "first";
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    const CFileIdentity before = CFileIdentity::Of(path);
    // Past the coarse clock's tick, which the inode's change time is taken from.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    std::fstream(path, std::ios::in | std::ios::out | std::ios::binary) << "other";
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    EXPECT_NE(CFileIdentity::Of(path), before);
    EXPECT_EQ(CFileIdentity::Parse(before.ToText()), before);
    EXPECT_FALSE(CFileIdentity::Parse("not an identity").Exists());
}

TEST(FileIdentityChange, AHardLinkMadeOrRemovedIsNoChangeOfTheFile)
{
    TempDir dir;
    const std::string path = dir.File("book.pelm");
    const std::string link = dir.File("kept.pelm");
    std::ofstream(path) << "first";
    const CFileIdentity before = CFileIdentity::Of(path);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_EQ(::link(path.c_str(), link.c_str()), 0);
    EXPECT_EQ(CFileIdentity::Of(path), before) << "a version kept by a link";
    const CFileIdentity linked = CFileIdentity::Of(path);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_EQ(::unlink(link.c_str()), 0);
    EXPECT_EQ(CFileIdentity::Of(path), linked) << "the kept version dropped";
    EXPECT_EQ(CFileIdentity::Parse(linked.ToText()), linked);
}

// A save in steps that is cancelled halfway leaves the file, its folder and the backups as they
// were, the notebook still changed, and the target free for the next save.
TEST_F(SaveEdges, ASaveCancelledBetweenStepsLeavesEverythingAsItWas)
{
    ASSERT_TRUE(SaveVersion("v1"));
    const std::string before = NoteBookBytes::Load(path);
    const auto listing = [this] {
        std::vector<std::string> names;
        for (const auto& entry : fs::recursive_directory_iterator(dir.Path()))
            names.push_back(entry.path().string());
        std::sort(names.begin(), names.end());
        return names;
    };
    const std::vector<std::string> files = listing();
    for (int i = 0; i < 50; ++i)
        book.AddNote(true, true)->SetText("note " + std::to_string(i));
    {
        CNoteBookWriter writer(book);
        ASSERT_TRUE(writer.Begin(path, backups));
        bool done = false;
        ASSERT_TRUE(writer.Step(10, UINT64_MAX, done));
        ASSERT_TRUE(writer.Step(10, UINT64_MAX, done));
        EXPECT_FALSE(done);
        EXPECT_EQ(writer.GetWritten(), 20u);
        CNoteBookWriter other(book);
        EXPECT_FALSE(other.Write(path)) << "the target is taken while the save runs";
        boxes.boxes.clear();
        writer.Cancel();
        EXPECT_EQ(writer.GetWritten(), 0u);
    }
    EXPECT_EQ(NoteBookBytes::Load(path), before);
    EXPECT_EQ(listing(), files);
    EXPECT_TRUE(boxes.boxes.empty());
    EXPECT_TRUE(book.IsModified());
    EXPECT_EQ(book.GetPath().GetPath(), path);
    ASSERT_TRUE(SaveVersion("v2"));
    EXPECT_EQ(TitleOn(path), "v2");
    EXPECT_EQ(TitleOn(Backup(1)), "v1");
}
