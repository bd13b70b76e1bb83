#include "storage/CNoteBookFile.h"

#include "model/CNote.h"
#include "model/CNoteBook.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

struct WorldAction
{
    const char* name;
    std::function<void(const std::string& book, const TempDir& dir)> act;
    bool changes;
    // Written through the name: the kept link and the texts not yet read went with it.
    bool inPlace;
};

void Append(const std::string& path, const char* bytes)
{
    std::ofstream(path, std::ios::app | std::ios::binary) << bytes;
}

// The same size, and the times put back as they were: only the bytes tell.
void WriteInPlaceUnseen(const std::string& path)
{
    struct stat before
    {
    };
    ASSERT_EQ(::stat(path.c_str(), &before), 0);
    const int fd = ::open(path.c_str(), O_WRONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::pwrite(fd, "Z", 1, 20), 1);
    ::close(fd);
    const struct timespec times[2] = {before.st_atim, before.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

const WorldAction kActions[] = {
    {"nothing", [](const std::string&, const TempDir&) {}, false, false},
    {"touch",
     [](const std::string& book, const TempDir&) { ::utimensat(AT_FDCWD, book.c_str(), nullptr, 0); }, false,
     false},
    {"a link made",
     [](const std::string& book, const TempDir& dir) { fs::create_hard_link(book, dir.File("l")); }, false,
     false},
    {"a link made and removed",
     [](const std::string& book, const TempDir& dir) {
         fs::create_hard_link(book, dir.File("l"));
         fs::remove(dir.File("l"));
     },
     false, false},
    {"chmod", [](const std::string& book, const TempDir&) { ::chmod(book.c_str(), 0640); }, false, false},
    {"a rename of the same bytes",
     [](const std::string& book, const TempDir& dir) {
         fs::copy_file(book, dir.File("synced"));
         fs::rename(dir.File("synced"), book);
     },
     false, false},
    {"a rename of other bytes",
     [](const std::string& book, const TempDir& dir) {
         fs::copy_file(book, dir.File("synced"));
         Append(dir.File("synced"), "more");
         fs::rename(dir.File("synced"), book);
     },
     true, false},
    {"a write in place", [](const std::string& book, const TempDir&) { Append(book, "more"); }, true, true},
    {"a write in place with the times put back",
     [](const std::string& book, const TempDir&) { WriteInPlaceUnseen(book); }, true, true},
    {"removed", [](const std::string& book, const TempDir&) { fs::remove(book); }, false, false},
};

void WriteBook(const std::string& path)
{
    CNoteBook book;
    // Long enough to stay in the file until first read.
    for (int i = 0; i < 3; ++i) {
        CNote* note = book.AddNote(true, true);
        note->SetTitle("note " + std::to_string(i));
        note->SetText(std::string(20000, static_cast<char>('a' + i)));
    }
    ASSERT_TRUE(book.WriteFile(path));
}

} // namespace

// Every way the world touches the file, after a read and after a save: a change is one of the bytes,
// told once; the base kept beside a recovery copy tells the same.
TEST(NoteBookFile, AChangeIsOneOfTheBytes)
{
    for (const bool afterSave : {false, true}) {
        for (const WorldAction& action : kActions) {
            SCOPED_TRACE(std::string(action.name) + (afterSave ? " after a save" : " after a read"));
            TempDir dir;
            const std::string path = dir.File("book.pelm");
            WriteBook(path);
            CNoteBook read;
            CNoteBookFile file(dir.File("ancestors"), dir.File("recovery"));
            file.BeginRead(path);
            ASSERT_TRUE(read.ReadFile(path));
            file.Read(path, read);
            if (afterSave) {
                ASSERT_TRUE(read.WriteFile(path));
                file.Written(path, read);
            }
            const CFileIdentity base = file.BaseSource()();
            ASSERT_TRUE(base.GetContentHash().IsKnown());
            const std::string kept = file.GetKeptPath();
            ASSERT_FALSE(kept.empty());

            action.act(path, dir);
            EXPECT_EQ(file.ChangedOnDisk(), action.changes);
            EXPECT_EQ(file.TakeNewChange(), action.changes);
            EXPECT_FALSE(file.TakeNewChange()) << "told once";
            if (fs::exists(path)) {
                EXPECT_EQ(CNoteBookFile::StillHolds(path, base), !action.changes);
            }
            EXPECT_EQ(file.GetKeptPath().empty(), action.inPlace);
            // Texts not yet read stay trusted until the bytes changed under them.
            EXPECT_EQ(read.FindLostText() != nullptr, action.inPlace && !afterSave);
        }
    }
}

// Recovered changes are merged against the very version they began from: a version kept by a
// window that died, found by its bytes, before a backup.
TEST(NoteBookFile, TheVersionChangesBeganFromIsFoundKeptOrBackedUp)
{
    TempDir dir;
    const std::string path = dir.File("book.pelm");
    WriteBook(path);
    const std::string ancestors = dir.File("ancestors");
    const std::string backups = dir.File("backups");
    CFileIdentity base;
    {
        CNoteBook read;
        CNoteBookFile file(ancestors, dir.File("recovery"));
        file.BeginRead(path);
        ASSERT_TRUE(read.ReadFile(path));
        file.Read(path, read);
        base = file.BaseSource()();
        EXPECT_EQ(CNoteBookFile::FindVersion(path, base, ancestors, backups), file.GetKeptPath());
        CNoteBook changed;
        ASSERT_TRUE(changed.ReadFile(path));
        changed.GetNoteAtIndex(0)->SetText("changed elsewhere");
        ASSERT_TRUE(changed.WriteFile(path, backups));
    }
    // The window went; its kept version with it, but the save before kept a backup.
    const std::string found = CNoteBookFile::FindVersion(path, base, ancestors, backups);
    ASSERT_FALSE(found.empty());
    EXPECT_EQ(found.rfind(backups, 0), 0u);
    EXPECT_TRUE(CNoteBookFile::StillHolds(found, base));
    EXPECT_FALSE(CNoteBookFile::StillHolds(path, base));
}
