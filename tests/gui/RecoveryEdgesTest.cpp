#include "app/CRecoveryKeeper.h"
#include "model/CEncryptedFile.h"
#include "platform/CBackupStore.h"
#include "platform/CRecoverySlot.h"
#include "platform/PathKey.h"
#include "support/FaultyCalls.h"
#include "support/NoteBookBytes.h"
#include "support/NoteContents.h"
#include "support/PaneFixture.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"

#include <QStatusBar>

#include <algorithm>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {

const char* const kRecover = "Pelmora was closed without saving \"book.pelm\". Recover the unsaved "
                             "changes?\n\nNo: give them up. Cancel: decide later; nothing is opened now.";
const char* const kRecoverChanged =
    "Pelmora was closed without saving \"book.pelm\", and the notebook's file was changed since, by another "
    "program or another Pelmora. Open the unsaved changes as a separate notebook, so that both versions "
    "stay?\n\nYes: open them as a new notebook; the file stays as it is. No: give the unsaved changes "
    "up. Cancel: decide later; nothing is opened now. Merge: open them with the file's changes merged in.";

void OtherProgramWrites(const std::string& path, const std::string& title)
{
    NoteBookBytes::Header header;
    header.count = 1;
    NoteBookBytes bytes;
    bytes.Head(header);
    bytes.Note(1, title, "");
    bytes.Save(path);
}

NoteBookBytes BytesOf(const Notes& notes)
{
    NoteBookBytes::Header header;
    header.count = static_cast<std::uint32_t>(notes.size());
    NoteBookBytes bytes;
    bytes.Head(header);
    for (const auto& [title, text] : notes)
        bytes.Note(1, title, text);
    return bytes;
}

Notes OnDisk(const std::string& path)
{
    CNoteBook book;
    EXPECT_TRUE(book.ReadFile(path));
    return Contents(book);
}

// Another Pelmora's save: the file it replaces becomes the newest backup.
void OtherPelmoraSaves(const std::string& path, const Notes& notes)
{
    const std::string backups = CBackupStore::DefaultFolder();
    ASSERT_TRUE(CBackupStore::SetAside(path, backups));
    BytesOf(notes).Save(path + ".new");
    ASSERT_EQ(std::rename((path + ".new").c_str(), path.c_str()), 0);
    ASSERT_TRUE(CBackupStore::Rotate(path, backups));
}

std::string FirstTitleOnDisk(const std::string& path)
{
    CNoteBook book;
    return book.ReadFile(path) && book.GetCount() > 0 ? book.GetNoteAtIndex(0)->GetTitle() : "(none)";
}

} // namespace

class RecoveryEdgesTest : public PaneTest
{
protected:
    bool Run(int id) { return frame->GetRouter().Run(id); }

    void SaveNew(const std::string& title, const std::string& at)
    {
        OpenNotes({{title, "saved"}});
        CFileDialog::SetNextFileName(QString::fromStdString(at));
        ASSERT_TRUE(Run(ID_FILE_SAVE));
    }

    void TypeInFirstNote(const char* text)
    {
        Activate(0);
        QTest::keyClicks(Text(), text);
    }

    // What a killed Pelmora leaves: the copy the keeper wrote, whose lock the process took along.
    void LeaveCopyBehind()
    {
        ASSERT_TRUE(frame->GetBookController().GetRecoveryKeeper()->Flush());
        const fs::path aside = dir.File("aside");
        fs::copy(recovery, aside);
        frame->GetNoteBook()->SetModifiedFlag(false);
        frame->CloseBook();
        fs::remove_all(recovery);
        fs::copy(aside, recovery);
        fs::remove_all(aside);
    }

    std::vector<std::string> Boxes()
    {
        std::vector<std::string> texts;
        for (const auto& box : boxes.boxes)
            texts.push_back(box.text);
        boxes.boxes.clear();
        return texts;
    }

    std::string Status() { return frame->statusBar()->currentMessage().toStdString(); }

    TempDir dir;
    std::string path = dir.File("book.pelm");
    std::string recovery = CRecoverySlot::DefaultFolder();
};

TEST_F(RecoveryEdgesTest, ACopyIsOfferedWhateverTheTimesSay)
{
    SaveNew("Base", path);
    frame->CloseBook();
    // A clock ahead, or a file from another machine: the notebook's time is later than any copy.
    const timespec ahead[2] = {{UTIME_OMIT, 0}, {std::time(nullptr) + 86400, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), ahead, 0), 0);
    frame->OpenBook(path);
    TypeInFirstNote("typed ");
    LeaveCopyBehind();
    // A touch, a backup tool's, leaves the bytes as they were: no change since the copy.
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), nullptr, 0), 0);

    boxes.answers = {IDYES};
    frame->OpenBook(path);
    EXPECT_EQ(Boxes(), std::vector<std::string>{kRecover});
    ASSERT_TRUE(frame->IsBookOpen());
    EXPECT_EQ(frame->GetNoteBook()->GetNoteAtIndex(0)->GetText(), "typed saved");
}

TEST_F(RecoveryEdgesTest, ANotebookBookChangedElsewhereSinceTheCopyIsSaidAndTheCopyOpensApart)
{
    SaveNew("Base", path);
    TypeInFirstNote("typed ");
    // The sync tool brings another version, then the last copy is written, then Pelmora is killed.
    OtherProgramWrites(path, "Synced");
    LeaveCopyBehind();

    // Cancel: nothing opens, and the copy stays for later.
    frame->OpenBook(path);
    EXPECT_EQ(Boxes(), std::vector<std::string>{kRecoverChanged});
    EXPECT_FALSE(frame->IsBookOpen());
    ASSERT_EQ(CRecoverySlot::FindLeftBehind(recovery).size(), 1u);

    // At a start without a notebook the same question; Yes opens the changes as a new notebook.
    boxes.answers = {IDYES};
    frame->OfferRecovery();
    EXPECT_EQ(Boxes(), std::vector<std::string>{kRecoverChanged});
    ASSERT_TRUE(frame->IsBookOpen());
    EXPECT_EQ(frame->GetNoteBook()->GetNoteAtIndex(0)->GetText(), "typed saved");
    EXPECT_FALSE(frame->GetNoteBook()->GetPath().HasPath());
    EXPECT_TRUE(frame->GetNoteBook()->IsModified());
    // Ctrl+S cannot write over the synced file: it asks for a name.
    CFileDialog::SetNextFileName("");
    EXPECT_FALSE(frame->SaveBook());
    EXPECT_EQ(FirstTitleOnDisk(path), "Synced");
    // Closed without saving, the separate notebook's changes are given up; the file opens as it is.
    frame->GetNoteBook()->SetModifiedFlag(false);
    frame->CloseBook();
    frame->OpenBook(path);
    EXPECT_TRUE(Boxes().empty());
    ASSERT_TRUE(frame->IsBookOpen());
    EXPECT_EQ(FirstTitleOnDisk(path), "Synced");
    EXPECT_TRUE(CRecoverySlot::FindLeftBehind(recovery).empty());
}

TEST_F(RecoveryEdgesTest, ARecoveredNotebookKeepsTheFileItWasBasedOn)
{
    SaveNew("Base", path);
    TypeInFirstNote("one ");
    LeaveCopyBehind();
    boxes.answers = {IDYES};
    frame->OpenBook(path);
    ASSERT_EQ(Boxes(), std::vector<std::string>{kRecover});
    ASSERT_TRUE(frame->IsBookOpen());
    // Killed again after more typing; meanwhile the file was changed elsewhere.
    TypeInFirstNote("two ");
    LeaveCopyBehind();
    OtherProgramWrites(path, "Synced");
    frame->OpenBook(path);
    EXPECT_EQ(Boxes(), std::vector<std::string>{kRecoverChanged});
    EXPECT_FALSE(frame->IsBookOpen());

    // A recovered notebook's Save compares with the file the changes began from.
    SaveNew("Base", dir.File("second.pelm"));
    frame->CloseBook();
    frame->OpenBook(dir.File("second.pelm"));
    TypeInFirstNote("x");
    LeaveCopyBehind();
    boxes.answers = {IDYES};
    frame->OpenBook(dir.File("second.pelm"));
    Boxes();
    OtherProgramWrites(dir.File("second.pelm"), "Synced");
    boxes.answers = {IDCANCEL};
    EXPECT_FALSE(frame->SaveBook());
    EXPECT_EQ(Boxes(),
              std::vector<std::string>{std::string(kBookChangedElsewhere).replace(14, 9, "second.pelm")});
    EXPECT_EQ(FirstTitleOnDisk(dir.File("second.pelm")), "Synced");
}

TEST_F(RecoveryEdgesTest, MergeTakesInWhatAnotherPelmoraSavedSinceAndSaveAsksNoMore)
{
    SaveNew("Base", path);
    TypeInFirstNote("typed ");
    LeaveCopyBehind();
    OtherPelmoraSaves(path, {{"Base", "saved"}, {"Added", "there"}});

    boxes.answers = {IDMERGE};
    frame->OpenBook(path);
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].text, kRecoverChanged);
    EXPECT_EQ(boxes.boxes[0].style, unsigned(MB_YESNOCANCEL | MB_ICONQUESTION | MB_DEFBUTTON3 | MB_MERGE));
    boxes.boxes.clear();
    ASSERT_TRUE(frame->IsBookOpen());
    const Notes merged = {{"Base", "typed saved"}, {"Added", "there"}};
    EXPECT_EQ(Contents(*frame->GetNoteBook()), merged);
    EXPECT_EQ(Status(), "Merged 1 changes from disk; 0 notes changed on both sides were kept twice.");
    EXPECT_TRUE(frame->GetNoteBook()->IsModified());
    EXPECT_EQ(OnDisk(path), (Notes{{"Base", "saved"}, {"Added", "there"}})) << "never saved by itself";

    // The version merged is the one Save compares with: it writes without asking.
    EXPECT_TRUE(frame->SaveBook());
    EXPECT_TRUE(Boxes().empty());
    EXPECT_EQ(OnDisk(path), merged);
}

TEST_F(RecoveryEdgesTest, MergeWithoutTheVersionTheChangesBeganFromKeepsEveryNote)
{
    // Two saves: the newest backup is the first version, not the one the typing began from.
    OpenNotes({{"A", "a"}, {"N", "n"}});
    CFileDialog::SetNextFileName(QString::fromStdString(path));
    ASSERT_TRUE(Run(ID_FILE_SAVE));
    TypeInFirstNote("second ");
    ASSERT_TRUE(frame->SaveBook());
    TypeInFirstNote("typed ");
    LeaveCopyBehind();
    // From another machine, whose history never had N: the backup as ancestor would drop it.
    BytesOf({{"A", "a"}}).Save(path + ".new");
    ASSERT_EQ(std::rename((path + ".new").c_str(), path.c_str()), 0);

    boxes.answers = {IDMERGE};
    frame->OpenBook(path);
    ASSERT_EQ(Boxes(), std::vector<std::string>{kRecoverChanged});
    ASSERT_TRUE(frame->IsBookOpen());
    std::vector<std::string> texts;
    for (const auto& note : Contents(*frame->GetNoteBook()))
        texts.push_back(note.second);
    std::sort(texts.begin(), texts.end());
    EXPECT_EQ(texts, (std::vector<std::string>{"a", "n", "typed second a"}));
    EXPECT_TRUE(frame->GetNoteBook()->IsModified());
    EXPECT_EQ(OnDisk(path), (Notes{{"A", "a"}}));
}

TEST_F(RecoveryEdgesTest, EveryFailureToKeepACopyIsShown)
{
    ScopedEnv env;
    env.Set("XDG_STATE_HOME", dir.File("state"));
    fs::create_directories(dir.File("state/pelmora"));
    std::ofstream(dir.File("state/pelmora/recovery")) << "not a folder";
    OpenNotes({{"n", ""}});
    TypeInFirstNote("typed");
    frame->GetBookController().GetRecoveryKeeper()->SetDelays(std::chrono::milliseconds(0),
                                                              std::chrono::milliseconds(0));
    frame->SetMessageText("Ready");
    // The keeper finds the copy due at its next tick.
    QTRY_COMPARE_WITH_TIMEOUT(frame->statusBar()->currentMessage(),
                              QString("Could not write the recovery copy: until they are saved, the changes "
                                      "are kept only in memory."),
                              5000);
    frame->SetMessageText("Ready");
    EXPECT_FALSE(frame->GetBookController().GetRecoveryKeeper()->Flush());
    EXPECT_NE(Status().find("Could not write the recovery copy"), std::string::npos);
}

// The version recorded beside a copy is that copy's: a copy that could not be written leaves the
// one before with the version it began from, never with the newer one.
TEST_F(RecoveryEdgesTest, ACopyThatFailsLeavesTheBaseOfTheCopyBefore)
{
    SaveNew("v1", path);
    TypeInFirstNote("typed ");
    ASSERT_TRUE(frame->GetBookController().GetRecoveryKeeper()->Flush());
    const std::string record = recovery + "/" + PathKey(path) + ".base";
    const std::string first = NoteBookBytes::Load(record);
    OtherProgramWrites(path, "Synced");
    ASSERT_TRUE(frame->GetBookController().MergeFromDisk());
    {
        FaultyCalls full([&](const std::string& call, const std::string& at) {
            return call == "Rename" && at.compare(0, recovery.size(), recovery) == 0 &&
                           at.find(".pelm", recovery.size()) != std::string::npos
                       ? ENOSPC
                       : 0;
        });
        EXPECT_FALSE(frame->GetBookController().GetRecoveryKeeper()->Flush());
    }
    EXPECT_EQ(NoteBookBytes::Load(record), first);
    EXPECT_TRUE(frame->GetBookController().GetRecoveryKeeper()->Flush());
    EXPECT_NE(NoteBookBytes::Load(record), first) << "with the copy of the merge, the version it began from";
}

TEST_F(RecoveryEdgesTest, ABackupThatCannotBeKeptIsSaidOnTheStatusLine)
{
    SaveNew("v1", path);
    const std::string backups = CBackupStore::DefaultFolder();
    {
        FaultyCalls full([&](const std::string& call, const std::string& at) {
            const bool inBackups = at.compare(0, backups.size(), backups) == 0;
            return (call == "Link" || call == "Open") && inBackups ? ENOSPC : 0;
        });
        frame->GetNoteBook()->SetModified();
        ASSERT_TRUE(Run(ID_FILE_SAVE));
    }
    EXPECT_EQ(Status(), "Saved, but the previous version could not be kept as a backup.");
    frame->GetNoteBook()->SetModified();
    ASSERT_TRUE(Run(ID_FILE_SAVE));
    EXPECT_EQ(Status(), "Ready");
}

TEST_F(RecoveryEdgesTest, AFailedSaveIsNoChangeByAnotherProgram)
{
    SaveNew("v1", path);
    {
        FaultyCalls renameFails([&](const std::string& call, const std::string& from) {
            return call == "Rename" && from.find("/.book.pelm.") != std::string::npos ? EIO : 0;
        });
        frame->GetNoteBook()->SetModified();
        EXPECT_FALSE(frame->SaveBook());
    }
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_TRUE(frame->SaveBook());
    EXPECT_TRUE(Boxes().empty()) << "setting the old file aside touched it, nobody else";
}

TEST_F(RecoveryEdgesTest, APlainNotebookUnderAnEncryptedNameOpensOnlyWhenToldAndIsSavedEncrypted)
{
    const std::string plain = dir.File("book.pelmx");
    OtherProgramWrites(plain, "Plain");
    const char* warning =
        "\"book.pelmx\" is named as an encrypted notebook but is not encrypted: anyone who gets "
        "the file can read it. Open it anyway? Saving it will encrypt it (a passphrase is "
        "asked), or Save As keeps it plain under a .pelm name.";
    frame->OpenBook(plain);
    EXPECT_EQ(Boxes(), std::vector<std::string>{warning});
    EXPECT_FALSE(frame->IsBookOpen());

    boxes.answers = {IDYES};
    frame->OpenBook(plain);
    ASSERT_TRUE(frame->IsBookOpen());
    frame->GetNoteBook()->GetNoteAtIndex(0)->SetText("new and private");
    frame->GetNoteBook()->SetModified();
    // No passphrase: Save As, under a .pelm name.
    CPassphraseDlg::SetNextAnswer(IDCANCEL);
    CFileDialog::SetNextFileName(QString::fromStdString(dir.File("plain.pelm")));
    ASSERT_TRUE(frame->SaveBook());
    EXPECT_FALSE(CEncryptedFile::HasMagic(dir.File("plain.pelm")));
    EXPECT_EQ(NoteBookBytes::Load(plain).find("private"), std::string::npos) << "the .pelmx was not written";
    frame->CloseBook();

    boxes.answers = {IDYES};
    frame->OpenBook(plain);
    ASSERT_TRUE(frame->IsBookOpen());
    frame->GetNoteBook()->GetNoteAtIndex(0)->SetText("new and private");
    frame->GetNoteBook()->SetModified();
    CPassphraseDlg::SetNextAnswer(IDOK, kPassphrase, kPassphrase);
    ASSERT_TRUE(frame->SaveBook());
    EXPECT_TRUE(CEncryptedFile::HasMagic(plain));
    EXPECT_EQ(NoteBookBytes::Load(plain).find("private"), std::string::npos);
    frame->CloseBook();

    std::ofstream(dir.File("cut.pelmx"), std::ios::binary) << "PEL";
    Boxes();
    frame->OpenBook(dir.File("cut.pelmx"));
    EXPECT_EQ(Boxes(), std::vector<std::string>{
                           "ERROR: The encrypted notebook is cut short; nothing of it was opened."});
    EXPECT_FALSE(frame->IsBookOpen());
}

TEST_F(RecoveryEdgesTest, ChangePassphraseAsksForTheOldOneAndLeavesNothingItOpensButTheTypingKept)
{
    const std::string sealed = dir.File("diary.pelmx");
    OpenNotes({{"Diary", "day one"}});
    CPassphraseDlg::SetNextAnswer(IDOK, kPassphrase, kPassphrase);
    CFileDialog::SetNextFileName(QString::fromStdString(sealed));
    ASSERT_TRUE(frame->SaveBookAs());
    frame->GetNoteBook()->SetModified();
    ASSERT_TRUE(Run(ID_FILE_SAVE));
    const std::string backup = CBackupStore::BackupPath(sealed, CBackupStore::DefaultFolder(), 1);
    ASSERT_TRUE(fs::exists(backup));
    frame->GetNoteBook()->GetNoteAtIndex(0)->SetText("day two");
    frame->GetNoteBook()->SetModified();
    ASSERT_TRUE(frame->GetBookController().GetRecoveryKeeper()->Flush());
    Boxes();

    CPasswordDlg::SetNextAnswer(IDOK, "not the passphrase");
    Run(ID_CHANGE_PASSPHRASE);
    EXPECT_EQ(Boxes(),
              std::vector<std::string>{"ERROR: That is not the notebook's passphrase; it stays as it was."});
    EXPECT_TRUE(fs::exists(backup));

    CPasswordDlg::SetNextAnswer(IDOK, kPassphrase);
    CPassphraseDlg::SetNextAnswer(IDOK, "another long passphrase", "another long passphrase");
    Run(ID_CHANGE_PASSPHRASE);
    EXPECT_EQ(Boxes(),
              std::vector<std::string>{
                  "The new passphrase takes effect when the notebook is saved; until then its file keeps "
                  "the old one. Removed because the old passphrase opens them: 1 backup and the "
                  "recovery copy."});
    EXPECT_FALSE(fs::exists(backup));
    // Killed now, the typing is in a copy under the new passphrase: it replaced the old in one step.
    std::vector<std::string> copies;
    for (const auto& entry : fs::directory_iterator(recovery))
        if (entry.path().extension() == ".pelmx")
            copies.push_back(entry.path().string());
    ASSERT_EQ(copies.size(), 1u);
    {
        CNoteBook copy;
        CPasswordDlg::SetNextAnswer(IDOK, "another long passphrase");
        ASSERT_TRUE(copy.ReadFile(copies[0]));
        EXPECT_EQ(copy.GetNoteAtIndex(0)->GetText(), "day two");
    }

    // The file under the old passphrase is replaced and not kept.
    ASSERT_TRUE(Run(ID_FILE_SAVE));
    EXPECT_FALSE(fs::exists(backup));
    frame->GetNoteBook()->SetModified();
    ASSERT_TRUE(Run(ID_FILE_SAVE));
    EXPECT_TRUE(fs::exists(backup)) << "backups go on under the new passphrase";
    frame->CloseBook();
    CPasswordDlg::SetNextAnswer(IDOK, "another long passphrase");
    frame->OpenBook(sealed);
    ASSERT_TRUE(frame->IsBookOpen());
    EXPECT_EQ(frame->GetNoteBook()->GetNoteAtIndex(0)->GetText(), "day two");
}

TEST_F(RecoveryEdgesTest, CoreDumpsAreOffFromTheStartForEveryNotebook)
{
    ASSERT_EQ(::prctl(PR_SET_DUMPABLE, 1, 0, 0, 0), 0);
    CMainFrame window;
    ASSERT_TRUE(window.Create());
    EXPECT_EQ(::prctl(PR_GET_DUMPABLE, 0, 0, 0, 0), 0);
    rlimit core{};
    ASSERT_EQ(::getrlimit(RLIMIT_CORE, &core), 0);
    EXPECT_EQ(core.rlim_cur, 0u);
}
