#include "platform/CBackupStore.h"
#include "platform/CConflictCopies.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sys/stat.h>
#include <utime.h>

TEST(ConflictCopies, TheNamesOfSyncthingNextcloudAndDropboxAreKnownAndNothingElse)
{
    for (const char* name :
         {"book.sync-conflict-20261209-101500-ABCDEF1.pelm", "book (conflicted copy 2026-12-09 101500).pelm",
          "book (Ann's conflicted copy 2026-12-09).pelm", "book (Ann’s conflicted copy).pelm"})
        EXPECT_TRUE(CConflictCopies::IsCopyOf(name, "book.pelm")) << name;
    for (const char* name :
         {"book.pelm", "book2.sync-conflict-20261209-101500-ABCDEF1.pelm",
          "book.sync-conflict-20261209-101500-ABCDEF1.pelmx", "book.sync-conflict-2026-x.pelm",
          "book (copy).pelm", "other (conflicted copy 2026-12-09 101500).pelm",
          "book.sync-conflict-20261209-101500-ABCDEF1.pelm.tmp"})
        EXPECT_FALSE(CConflictCopies::IsCopyOf(name, "book.pelm")) << name;
    EXPECT_TRUE(CConflictCopies::IsCopyOf("diary.sync-conflict-20261209-101500-Q2.pelmx", "diary.pelmx"));
}

namespace {

void Touch(const std::string& path, long seconds)
{
    std::ofstream(path) << path;
    const utimbuf times{seconds, seconds};
    ::utime(path.c_str(), &times);
}

} // namespace

TEST(ConflictCopies, FoundBesideTheNotebookWithTheBackupBothGrewFromAndPutAway)
{
    TempDir dir;
    const std::string book = dir.File("book.pelm");
    const std::string backups = dir.File("backups");
    Touch(book, 5000);
    Touch(dir.File("book.sync-conflict-20261209-101500-B.pelm"), 4000);
    Touch(dir.File("book (conflicted copy 2026-12-09 101500).pelm"), 3000);
    Touch(dir.File("other.sync-conflict-20261209-101500-B.pelm"), 3000);
    EXPECT_EQ(CConflictCopies::Find(book),
              (std::vector<std::string>{dir.File("book (conflicted copy 2026-12-09 101500).pelm"),
                                        dir.File("book.sync-conflict-20261209-101500-B.pelm")}));

    ASSERT_EQ(::mkdir(backups.c_str(), 0700), 0);
    const std::string copy = dir.File("book.sync-conflict-20261209-101500-B.pelm");
    EXPECT_EQ(CConflictCopies::CommonBackup(book, copy, backups), "") << "no backup yet";
    Touch(CBackupStore::BackupPath(book, backups, 1), 4500); // newer than the copy: not its ancestor
    Touch(CBackupStore::BackupPath(book, backups, 2), 3500);
    EXPECT_EQ(CConflictCopies::CommonBackup(book, copy, backups), CBackupStore::BackupPath(book, backups, 2));

    EXPECT_TRUE(CConflictCopies::PutAway(copy, backups));
    EXPECT_EQ(CConflictCopies::Find(book).size(), 1u);
    EXPECT_TRUE(std::ifstream(backups + "/book.sync-conflict-20261209-101500-B.pelm").good());
}
