// Saves under crashes. Each save (the tool's and the window's, plain and encrypted; the window's
// with its backups and its recovery copy) is recorded as the operations a file system persists, and
// every state a crash could leave of it (tests/support/CrashStates.h: each prefix, each prefix less
// one operation no fsync had made durable, and a last write cut in half) is put in place and
// checked: the notebook opens as the old version or the new one, every backup and recovery copy is
// whole or absent, and anything else a crash left is removed by the next save. This run checks a
// few hundred states in seconds. By hand, pairs of dropped operations and writes cut at more points:
//     PELMORA_CRASH_STATES=all build/tests/test_crash_states
#include "support/CrashStates.h"
#include "app/CRecoveryKeeper.h"
#include "model/CEncryptedFile.h"
#include "model/CNoteBookReader.h"
#include "model/CNoteBookSecret.h"
#include "model/CNoteBookWriter.h"
#include "model/CNoteFiles.h"
#include "model/ExportName.h"
#include "platform/AtomicFile.h"
#include "platform/CBackupStore.h"
#include "platform/CFile.h"
#include "platform/CRecoverySlot.h"
#include "platform/CSafeSaveGroup.h"
#include "platform/CSaveFaults.h"
#include "platform/PathNames.h"
#include "support/PaneFixture.h"
#include "support/PasswordAnswer.h"
#include "support/ScopedCount.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"

#include <cstring>
#include <filesystem>
#include <gtest/gtest-spi.h>
#include <iostream>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

using Secrets = std::vector<std::shared_ptr<const CNoteBookSecret>>;

std::string Load(const std::string& path)
{
    std::string bytes;
    ReadWholeFile(path, bytes);
    return bytes;
}

// Opens the file as the reader does; an encrypted one with the key of the save that wrote it,
// found by its salt, so that no key is derived again.
bool Opens(const std::string& path, const Secrets& secrets)
{
    if (!CEncryptedFile::HasMagic(path)) {
        CNoteBook book;
        return book.ReadFile(path);
    }
    CFile in;
    CEncryptedFile::Header header;
    if (!in.Open(path, CFile::modeRead | CFile::shareDenyNone) ||
        CEncryptedFile::ReadHeader(in, header) != CEncryptedFile::Result::Ok)
        return false;
    for (const auto& secret : secrets) {
        if (secret->GetKey().GetSalt() != header.salt)
            continue;
        CFile plain;
        if (!plain.OpenInMemory("opened") ||
            CEncryptedFile::Unseal(in, header, secret->GetKey(), plain) != CEncryptedFile::Result::Ok)
            return false;
        CNoteBook book;
        return CNoteBookReader(book).Read(plain.GetDescriptorPath());
    }
    return false;
}

} // namespace

class CrashStatesTest : public PaneTest
{
protected:
    void SetUp() override
    {
        env.Set("XDG_STATE_HOME", root + "/state");
        fs::create_directories(root + "/notes");
        PaneTest::SetUp();
    }

    std::string Backups() const { return root + "/state/pelmora/backups"; }
    std::string Recovery() const { return root + "/state/pelmora/recovery"; }
    std::string Ancestors() const { return root + "/state/pelmora/ancestors"; }

    // Whether a file the check finds belongs there after a save: the notebook, its backups, its
    // recovery place and the version this process keeps for merges while the notebook is open.
    bool Belongs(const std::string& name, bool setAsideToo) const
    {
        const std::string full = root + "/" + name;
        if (full == path)
            return true;
        for (int generation = setAsideToo ? 0 : 1; generation <= CBackupStore::kKept; ++generation)
            if (full == CBackupStore::BackupPath(path, Backups(), generation))
                return true;
        // A kept version and the lock of its store, this process's own.
        if (full.compare(0, Ancestors().size() + 1, Ancestors() + "/") == 0)
            return FileNameOf(full).find("-" + std::to_string(::getpid()) + "-") == 16 ||
                   FileNameOf(full).rfind("lock-" + std::to_string(::getpid()) + "-", 0) == 0;
        if (full.compare(0, Recovery().size() + 1, Recovery() + "/") != 0 || FileNameOf(full)[0] == '.')
            return false;
        for (const std::string suffix : {".lock", ".path", ".base", ".pelm", ".pelmx"})
            if (full.size() > suffix.size() &&
                full.compare(full.size() - suffix.size(), suffix.size(), suffix) == 0)
                return true;
        return false;
    }

    std::vector<std::string> FilesNow() const
    {
        std::vector<std::string> names;
        for (const auto& entry : fs::recursive_directory_iterator(root))
            if (!entry.is_directory())
                names.push_back(entry.path().string().substr(root.size() + 1));
        return names;
    }

    std::string Relative(const std::string& full) const { return full.substr(root.size() + 1); }

    // The versions a save with backups must keep, newest first: the notebook and its backups
    // before it. None where it keeps no backups (their folder is not there).
    std::vector<std::string> Generations(const RecordingCalls::Snapshot& start) const
    {
        std::vector<std::string> generations;
        if (!start.folders.count(Relative(Backups())))
            return generations;
        for (int generation = 0; generation <= CBackupStore::kKept; ++generation) {
            const auto name = start.names.find(
                Relative(generation == 0 ? path : CBackupStore::BackupPath(path, Backups(), generation)));
            if (name != start.names.end())
                generations.push_back(start.contents.at(name->second));
        }
        return generations;
    }

    // Checks every state of the recorded run; nextSave is the save that follows a restart. A crash
    // after copyKept calls must find the recovery copy or the notebook that holds its changes, and
    // after the whole run (the save said it succeeded) the new notebook.
    std::size_t CheckStates(const RecordingCalls::Snapshot& start, const std::vector<RecordingCalls::Op>& ops,
                            const std::function<void()>& nextSave, std::size_t copyKept = SIZE_MAX)
    {
        const std::string notebook = Relative(path);
        const CrashStates crashes(start, ops);
        const std::set<std::string> versions = crashes.WholeVersions();
        const std::string newBook = Load(path);
        const std::vector<std::string> generations = Generations(start);
        const std::set<std::string> notebookVersions{newBook, start.contents.at(start.names.at(notebook))};
        std::size_t explored = 0;
        const std::map<CrashStates::State, std::size_t> states = crashes.Enumerate(explored);
        std::map<std::string, bool> opened;
        std::set<std::vector<std::string>> straysRemoved;
        for (const auto& [state, after] : states) {
            CrashStates::Materialize(state, root);
            std::vector<std::string> strays;
            std::set<std::string> kept;
            bool copyThere = false;
            bool saved = false;
            bool notebookThere = false;
            for (const std::string& name : FilesNow()) {
                SCOPED_TRACE(name);
                const std::string full = root + "/" + name;
                const std::string bytes = Load(full);
                const bool backup = full.compare(0, Backups().size(), Backups()) == 0;
                const bool copyOrBackup =
                    backup || fs::path(full).extension().string().rfind(".pelm", 0) == 0;
                if (name == notebook) {
                    notebookThere = true;
                    saved = bytes == newBook;
                    EXPECT_EQ(notebookVersions.count(bytes), 1u)
                        << "the notebook is neither the old nor the new";
                } else if (!Belongs(name, true)) {
                    strays.push_back(name);
                    continue;
                } else if (FileNameOf(name).find(".lock") != std::string::npos) {
                    continue;
                }
                if (name == notebook || backup)
                    kept.insert(bytes);
                copyThere =
                    copyThere || (copyOrBackup && full.compare(0, Recovery().size(), Recovery()) == 0);
                EXPECT_EQ(versions.count(bytes), 1u) << "not whole: " << bytes.size() << " bytes";
                if (!copyOrBackup)
                    continue;
                if (versions.count(bytes) && !opened.count(bytes))
                    opened[bytes] = Opens(full, secrets);
                EXPECT_TRUE(opened[bytes]) << "does not open";
            }
            EXPECT_TRUE(notebookThere) << "the notebook is gone";
            EXPECT_TRUE(saved || after < ops.size())
                << "the save said it succeeded, yet a crash brings the old notebook back";
            EXPECT_TRUE(saved || copyThere || after < copyKept)
                << "the recovery copy is gone before the notebook that holds its changes is on the disk";
            // Only a save in place lets the oldest backup go.
            for (std::size_t g = 0; g < generations.size() && (!saved || g < CBackupStore::kKept); ++g)
                EXPECT_EQ(kept.count(generations[g]), 1u) << "a crash loses backup generation " << g;
            if (strays.empty() || !straysRemoved.insert(strays).second)
                continue;
            // The names decide what the next save removes: once for each set of them.
            nextSave();
            for (const std::string& name : FilesNow())
                EXPECT_TRUE(Belongs(name, false)) << name << " stays after the next save";
            if (HasFailure()) {
                for (const auto& [name, bytes] : state.files)
                    std::cout << "  in the failing state: " << name << " (" << bytes.size() << " bytes)\n";
                break;
            }
        }
        std::cout << explored << " crash states explored, " << states.size()
                  << " of them different, checked\n";
        return explored;
    }

    // The window's save after a restart: the notebook with its backups, and a recovery copy.
    void NextWindowSave(bool encrypted)
    {
        CNoteBook next;
        next.AddNote(true, true)->SetTitle("after the restart");
        if (encrypted)
            next.SetSecret(secrets.back());
        ASSERT_TRUE(CNoteBookWriter(next).Write(path, Backups()));
        CRecoverySlot slot(Recovery());
        ASSERT_EQ(slot.TakeForPath(path), CRecoverySlot::Result::Taken);
        ASSERT_TRUE(slot.WriteRecords(CFileIdentity::Of(path)));
        ASSERT_TRUE(WriteFileAtomically(slot.GetCopyPath(encrypted), "a copy"));
    }

    // The window's save of changes a recovery copy holds, recorded from the copy on.
    void RecordWindowSave(bool encrypted, bool unnamedFiles = true)
    {
        OpenNotes({{"first", "v1"}, {"second", std::string(5000, 's')}});
        if (encrypted)
            CPassphraseDlg::SetNextAnswer(IDOK, kPassphrase, kPassphrase);
        CFileDialog::SetNextFileName(QString::fromStdString(path));
        ASSERT_TRUE(frame->SaveBookAs());
        book = frame->GetNoteBook();
        secrets.push_back(book->GetSecret());
        // Two backups before the save: it keeps one and lets the oldest go. One where every save
        // derives a key, to keep the run short.
        using Versions = std::vector<const char*>;
        for (const char* version : encrypted ? Versions{"v2"} : Versions{"v2", "v3"}) {
            book->GetNoteAtIndex(0)->SetText(version);
            book->SetModified();
            ASSERT_TRUE(frame->SaveBook());
            secrets.push_back(book->GetSecret());
        }
        Activate(0);
        QTest::keyClicks(Text(), "typed ");
        RecordingCalls::Snapshot start;
        std::vector<RecordingCalls::Op> ops;
        std::size_t copyKept = 0;
        {
            RecordingCalls recording(root, unnamedFiles);
            ASSERT_TRUE(frame->GetBookController().GetRecoveryKeeper()->Flush());
            copyKept = recording.GetOps().size();
            ASSERT_TRUE(frame->SaveBook());
            start = recording.GetStart();
            ops = recording.GetOps();
        }
        secrets.push_back(book->GetSecret());
        book->SetModifiedFlag(false);
        frame->CloseBook();
        EXPECT_GE(CheckStates(
                      start, ops, [&] { NextWindowSave(encrypted); }, copyKept),
                  40u);
    }

    // The tool's save: the notebook alone.
    void RecordToolSave(std::shared_ptr<const CNoteBookSecret> secret, bool unnamedFiles = true)
    {
        CNoteBook toolBook;
        toolBook.AddNote(true, true)->SetText(std::string(3000, 'o'));
        toolBook.SetSecret(secret);
        ASSERT_TRUE(toolBook.WriteFile(path));
        secrets.push_back(toolBook.GetSecret());
        toolBook.GetNoteAtIndex(0)->SetText("new");
        RecordingCalls::Snapshot start;
        std::vector<RecordingCalls::Op> ops;
        {
            RecordingCalls recording(root, unnamedFiles);
            ASSERT_TRUE(toolBook.WriteFile(path));
            start = recording.GetStart();
            ops = recording.GetOps();
        }
        secrets.push_back(toolBook.GetSecret());
        EXPECT_GE(CheckStates(start, ops,
                              [&] {
                                  CNoteBook next;
                                  next.SetSecret(secret ? secrets.back() : nullptr);
                                  ASSERT_TRUE(next.WriteFile(path));
                              }),
                  10u);
    }

    // An export of three notes in groups of two over an earlier one: whatever a crash leaves, each
    // file holds its earlier text or its new one, and its earlier one only when the export had not
    // ended.
    void RecordExport(bool unnamedFiles = true)
    {
        const ScopedCount<CSafeSaveGroup::SetFilesPerGroup> pairs(2);
        CNoteBook exported;
        const std::vector<std::string> titles{"one", "two", "three"};
        for (const std::string& title : titles)
            exported.AddNote(true, true)->SetTitle(title);
        const std::string folder = root + "/notes/export";
        std::string error;
        const auto exportAs = [&](const std::string& text) {
            for (std::size_t i = 0; i < titles.size(); ++i)
                exported.GetNoteAtIndex(i)->SetText(text + titles[i]);
            return CNoteFiles::WriteFolder(CNoteFiles::AllNotes(exported), folder, error);
        };
        ASSERT_TRUE(exportAs("earlier ")) << error;
        RecordingCalls::Snapshot start;
        std::vector<RecordingCalls::Op> ops;
        {
            RecordingCalls recording(root, unnamedFiles);
            ASSERT_TRUE(exportAs("new ")) << error;
            start = recording.GetStart();
            ops = recording.GetOps();
        }
        std::size_t explored = 0;
        for (const auto& [state, after] : CrashStates(start, ops).Enumerate(explored))
            for (std::size_t i = 0; i < titles.size(); ++i) {
                const auto file =
                    state.files.find("notes/export/" + ExportName(i + 1, titles.size(), titles[i]));
                ASSERT_NE(file, state.files.end()) << "an earlier file is gone";
                const bool earlier = file->second == "earlier " + titles[i];
                EXPECT_TRUE(file->second == "new " + titles[i] || (earlier && after < ops.size()))
                    << "a crash leaves an exported file that is neither its earlier text nor its new one: "
                    << file->second;
            }
        EXPECT_GE(explored, 30u);
    }

    // Runs a recorded save and its check with the fault made, and returns what the check reported.
    static std::string FailuresWith(CSaveFaults::Fault fault, const std::function<void()>& recordedSave)
    {
        ::testing::TestPartResultArray results;
        {
            ::testing::ScopedFakeTestPartResultReporter intercept(
                ::testing::ScopedFakeTestPartResultReporter::INTERCEPT_ONLY_CURRENT_THREAD, &results);
            CSaveFaults::Set(fault);
            recordedSave();
            CSaveFaults::Set(CSaveFaults::none);
        }
        std::string messages;
        for (int i = 0; i < results.size(); ++i)
            messages += std::string(results.GetTestPartResult(i).message()) + "\n";
        return messages;
    }

    ScopedEnv env;
    TempDir dir;
    std::string root = dir.Path().string();
    std::string path = root + "/notes/book.pelm";
    Secrets secrets;
};

TEST_F(CrashStatesTest, TheToolsPlainSave)
{
    RecordToolSave(nullptr);
}

TEST_F(CrashStatesTest, TheToolsPlainSaveWhereTheFileSystemHasNoUnnamedFiles)
{
    RecordToolSave(nullptr, false);
}

TEST_F(CrashStatesTest, TheToolsEncryptedSave)
{
    path = root + "/notes/book.pelmx";
    RecordToolSave(CNoteBookSecret::Create(CSecureBytes(kPassphrase.toStdString())));
}

TEST_F(CrashStatesTest, TheWindowsPlainSaveWithBackupsAndRecoveryCopy)
{
    RecordWindowSave(false);
}

TEST_F(CrashStatesTest, TheWindowsEncryptedSaveWithBackupsAndRecoveryCopy)
{
    path = root + "/notes/book.pelmx";
    RecordWindowSave(true);
}

TEST_F(CrashStatesTest, TheWindowsPlainSaveWhereTheFileSystemHasNoUnnamedFiles)
{
    RecordWindowSave(false, false);
}

// The check is only as good as what it catches: a save that leaves the rename to chance, one that
// moves the backups on before the new notebook is in place and an export that names its files
// before they are on the disk each fail it.
TEST_F(CrashStatesTest, SavesThatCutCornersFailTheCheck)
{
    std::string failures = FailuresWith(CSaveFaults::skipFolderSync, [&] { RecordToolSave(nullptr); });
    EXPECT_NE(failures.find("the save said it succeeded, yet a crash brings the old notebook back"),
              std::string::npos)
        << failures;
    failures = FailuresWith(CSaveFaults::rotateBeforeReplacing, [&] { RecordWindowSave(false); });
    EXPECT_NE(failures.find("a crash loses backup generation 2"), std::string::npos) << failures;
    failures = FailuresWith(CSaveFaults::skipGroupSync, [&] { RecordExport(); });
    EXPECT_NE(failures.find("neither its earlier text nor its new one"), std::string::npos) << failures;
}

TEST_F(CrashStatesTest, ExportLeavesEachFileItsEarlierTextOrItsNewOne)
{
    RecordExport();
    RecordExport(false);
}
