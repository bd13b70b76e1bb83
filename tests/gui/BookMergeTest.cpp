#include "app/CBookController.h"
#include "model/CEncryptedFile.h"
#include "model/CNoteBookSecret.h"
#include "platform/CAncestorStore.h"
#include "platform/CBackupStore.h"
#include "support/FirstBar.h"
#include "support/HeldWrites.h"
#include "support/NoteBookBytes.h"
#include "support/NoteContents.h"
#include "support/PaneFixture.h"
#include "support/TempDir.h"
#include "views/CFindAllDock.h"
#include "views/CFindAllModel.h"
#include "views/CFindAllPane.h"
#include "views/CSearchBar.h"

#include <QElapsedTimer>

#include <QStatusBar>
#include <QTimer>

#include <cstdio>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

// The notebook bytes another program (a sync tool, the Windows program) writes.
NoteBookBytes Bytes(const Notes& notes)
{
    NoteBookBytes::Header header;
    header.count = static_cast<std::uint32_t>(notes.size());
    NoteBookBytes bytes;
    bytes.Head(header);
    for (const auto& [title, text] : notes)
        bytes.Note(1, title, text);
    return bytes;
}

// As sync tools do: a new file renamed over the old one.
void OtherProgramReplaces(const std::string& path, const Notes& notes)
{
    Bytes(notes).Save(path + ".tmp");
    ASSERT_EQ(std::rename((path + ".tmp").c_str(), path.c_str()), 0);
}

const std::string kCopy = " (changed elsewhere)";

// Bytes whose header counts a note more than they hold: the last record was cut off.
NoteBookBytes CutShort(const Notes& notes)
{
    NoteBookBytes bytes = Bytes(notes);
    bytes.bytes[4] = static_cast<char>(notes.size() + 1);
    return bytes;
}

std::string Damaged(const std::string& name)
{
    return "The notebook \"" + name +
           "\" is damaged: it holds fewer notes than its header counts, or bytes after its last note. No "
           "note missing there was taken as deleted.";
}

} // namespace

class BookMergeTest : public PaneTest
{
protected:
    bool Run(int id) { return frame->GetRouter().Run(id); }

    void SaveNew(const Notes& notes)
    {
        OpenNotes(notes);
        CFileDialog::SetNextFileName(QString::fromStdString(path));
        ASSERT_TRUE(Run(ID_FILE_SAVE));
    }

    // Our unsaved change to the note at index.
    void Edit(std::size_t index, const std::string& text)
    {
        CNoteBook& open = *frame->GetNoteBook();
        open.GetNoteAtIndex(index)->SetText(text);
        open.SetModified();
    }

    void Reactivate()
    {
        QWidget other;
        other.show();
        other.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
        frame->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(frame.get()));
    }

    Notes OnDisk(const std::string& file)
    {
        CNoteBook disk;
        EXPECT_TRUE(disk.ReadFile(file));
        return Contents(disk);
    }

    QString Status() { return frame->statusBar()->currentMessage(); }

    TempDir dir;
    std::string path = dir.File("book.pelm");
};

TEST_F(BookMergeTest, MergeAtSaveTakesTheirChangesAgainstTheVersionLastSavedAndIsNotSaved)
{
    SaveNew({{"A", "a"}, {"B", "b"}, {"C", "c"}});
    OtherProgramReplaces(path, {{"A", "a from the laptop"}, {"B", "b"}, {"C", "c"}, {"D", "new there"}});
    Edit(1, "b mine");

    boxes.answers = {IDMERGE};
    EXPECT_FALSE(frame->SaveBook());
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].text, kBookChangedElsewhere);
    EXPECT_EQ(boxes.boxes[0].style, unsigned(MB_YESNOCANCEL | MB_ICONQUESTION | MB_DEFBUTTON3 | MB_MERGE));
    const Notes merged = {{"A", "a from the laptop"}, {"B", "b mine"}, {"C", "c"}, {"D", "new there"}};
    EXPECT_EQ(Contents(*frame->GetNoteBook()), merged);
    EXPECT_TRUE(frame->GetNoteBook()->IsModified());
    EXPECT_EQ(Status(), "Merged 2 changes from disk; 0 notes changed on both sides were kept twice.");
    EXPECT_EQ(frame->GetNotePanel()->GetListPane()->GetListCtrl()->model()->rowCount(), 4);
    EXPECT_EQ(OnDisk(path).size(), 4u);
    EXPECT_EQ(OnDisk(path)[1].second, "b") << "never saved by itself";

    // What was merged is the new ancestor: Save asks nothing now, and the next change merges
    // against it.
    boxes.boxes.clear();
    EXPECT_TRUE(frame->SaveBook());
    EXPECT_TRUE(boxes.boxes.empty());
    EXPECT_EQ(OnDisk(path), merged);
    OtherProgramReplaces(path,
                         {{"A", "a from the laptop"}, {"B", "b mine"}, {"C", "c again"}, {"D", "new there"}});
    Edit(3, "d mine");
    boxes.answers = {IDMERGE};
    EXPECT_FALSE(frame->SaveBook());
    EXPECT_EQ(Contents(*frame->GetNoteBook()),
              (Notes{{"A", "a from the laptop"}, {"B", "b mine"}, {"C", "c again"}, {"D", "d mine"}}));
}

// The reads and the merge run on a worker while the window's events are delivered, behind a
// progress dialog; Cancel at any moment leaves the open notebook and the file as they were.
TEST_F(BookMergeTest, AMergeLetsTheWindowRunAndItsCancelLeavesBothAsTheyWere)
{
    SaveNew({{"A", "a"}, {"B", "b"}, {"C", "c"}});
    OtherProgramReplaces(path, {{"A", "a from the laptop"}, {"B", "b"}, {"C", "c"}, {"D", "new there"}});
    Edit(1, "b mine");
    const Notes mine = {{"A", "a"}, {"B", "b mine"}, {"C", "c"}};
    const std::string onDisk = NoteBookBytes::Load(path);
    const CNoteBook* open = frame->GetNoteBook();

    {
        const FirstBar merging(*frame, FirstBar::Cancel, {}, "Merging NoteBook...");
        boxes.answers = {IDMERGE};
        EXPECT_FALSE(frame->SaveBook());
        EXPECT_EQ(merging.Label(), "Merging NoteBook...");
    }
    EXPECT_EQ(frame->GetNoteBook(), open);
    EXPECT_EQ(Contents(*frame->GetNoteBook()), mine);
    EXPECT_TRUE(frame->GetNoteBook()->IsModified());
    EXPECT_EQ(NoteBookBytes::Load(path), onDisk);
    EXPECT_EQ(Status(), "Merge cancelled: the notebook and the file were left as they were.");

    // Not cancelled: the window's events come through while it runs, and the change on disk is
    // still there to merge.
    int deliveries = 0;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] { ++deliveries; });
    tick.start(0);
    boxes.answers = {IDMERGE};
    EXPECT_FALSE(frame->SaveBook());
    tick.stop();
    EXPECT_GE(deliveries, 2) << "once for each of the two runs on the worker";
    EXPECT_EQ(Contents(*frame->GetNoteBook()),
              (Notes{{"A", "a from the laptop"}, {"B", "b mine"}, {"C", "c"}, {"D", "new there"}}));
}

// On another file system than the state folder the versions kept are copies of the whole file,
// made while the window runs its events: each write of a copy waits until the merge's bar is
// seen, the copy begun by Save As as well as the merge's own.
TEST_F(BookMergeTest, TheCopyMergedFromAnotherFileSystemIsMadeWhileTheWindowRuns)
{
    const TempDir other("/dev/shm");
    if (other.SharesFileSystemWith(dir))
        GTEST_SKIP() << "no second file system here";
    path = other.File("book.pelm");
    // The copy of the version saved, the merge's ancestor, is held too.
    HeldWrites copy(".part");
    SaveNew({{"A", "a"}, {"B", "b"}});
    OtherProgramReplaces(path, {{"A", "a"}, {"B", "b"}, {"C", "new there"}});
    Edit(0, "mine");
    {
        const FirstBar copying(
            *frame, FirstBar::Look, [&] { copy.Release(); }, "Merging NoteBook...");
        boxes.answers = {IDMERGE};
        EXPECT_FALSE(frame->SaveBook());
        EXPECT_EQ(copying.Label(), "Merging NoteBook...");
    }
    EXPECT_FALSE(copy.WaitedOut()) << "the copy was made while the window ran its events";
    EXPECT_EQ(Contents(*frame->GetNoteBook()), (Notes{{"A", "mine"}, {"B", "b"}, {"C", "new there"}}));
}

TEST_F(BookMergeTest, ANoteChangedOnBothSidesIsKeptTwiceFromTheClosingPrompt)
{
    SaveNew({{"A", "a"}, {"B", "b"}});
    OtherProgramReplaces(path, {{"A", "theirs"}, {"B", "b"}});
    Edit(0, "mine");

    boxes.answers = {IDYES, IDMERGE};
    EXPECT_FALSE(frame->close());
    ASSERT_EQ(boxes.boxes.size(), 2u);
    EXPECT_EQ(boxes.boxes[0].text, "Do you wish to save your changes?");
    EXPECT_EQ(boxes.boxes[1].text, kBookChangedElsewhere);
    EXPECT_EQ(Contents(*frame->GetNoteBook()), (Notes{{"A", "mine"}, {"A" + kCopy, "theirs"}, {"B", "b"}}));
    EXPECT_EQ(Status(), "Merged 0 changes from disk; 1 notes changed on both sides were kept twice.");
    EXPECT_TRUE(frame->GetNoteBook()->IsModified());

    // Find Next finds the other version by its mark: a title hit selects its row.
    frame->m_wndSearchBar->Edit()->setText("(changed elsewhere)");
    Run(ID_FIND_NEXT);
    QApplication::processEvents();
    EXPECT_EQ(ListPane()->GetSelectionMark(), 1);
}

TEST_F(BookMergeTest, TheWindowComingBackOffersMergeForUnsavedChanges)
{
    SaveNew({{"A", "a"}, {"B", "b"}});
    Edit(0, "mine");
    OtherProgramReplaces(path, {{"A", "a"}, {"B", "b"}, {"C", "theirs"}});

    boxes.answers = {IDOK};
    Reactivate();
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].text,
              "The notebook \"book.pelm\" was changed by another program, and your changes "
              "are not saved. Merge its changes into yours?");
    EXPECT_EQ(boxes.boxes[0].style, unsigned(MB_OK | MB_ICONQUESTION | MB_MERGE));
    EXPECT_EQ(frame->GetNoteBook()->GetCount(), 2u) << "OK leaves it to Save";
    Reactivate();
    EXPECT_EQ(boxes.boxes.size(), 1u) << "asked once for one change";

    OtherProgramReplaces(path, {{"A", "a"}, {"B", "b"}, {"C", "theirs"}, {"D", "more"}});
    boxes.answers = {IDMERGE};
    Reactivate();
    EXPECT_EQ(Contents(*frame->GetNoteBook()),
              (Notes{{"A", "mine"}, {"B", "b"}, {"C", "theirs"}, {"D", "more"}}));
}

TEST_F(BookMergeTest, AFileWrittenInPlaceMergesWithoutAncestorAndKeepsEveryNote)
{
    SaveNew({{"A", "a"}, {"B", "b"}});
    // Written into the same file: the kept version changed with it and is no ancestor any more.
    Bytes({{"B", "b"}, {"C", "c"}}).Save(path);
    Edit(0, "mine");
    boxes.answers = {IDMERGE};
    EXPECT_FALSE(frame->SaveBook());
    EXPECT_EQ(Contents(*frame->GetNoteBook()), (Notes{{"A", "mine"}, {"B", "b"}, {"C", "c"}}));
}

TEST_F(BookMergeTest, ADamagedVersionIsNamedAndNoNoteMissingThereIsTakenAsDeleted)
{
    SaveNew({{"A", "a"}, {"B", "b"}, {"C", "c"}});
    Edit(1, "b mine");
    CutShort({{"A", "a from the laptop"}, {"B", "b"}}).Save(path + ".tmp");
    ASSERT_EQ(std::rename((path + ".tmp").c_str(), path.c_str()), 0);
    boxes.answers = {IDMERGE};
    EXPECT_FALSE(frame->SaveBook());
    ASSERT_EQ(boxes.boxes.size(), 2u);
    EXPECT_EQ(boxes.boxes[1].text, Damaged("book.pelm")) << "the file, not the version kept of it";
    EXPECT_EQ(boxes.boxes[1].style, unsigned(MB_ICONEXCLAMATION));
    // Their edit comes in; C, cut off there, stays.
    EXPECT_EQ(Contents(*frame->GetNoteBook()),
              (Notes{{"A", "a from the laptop"}, {"B", "b mine"}, {"New Note 3", ""}, {"C", "c"}}));
    // A note added to the merge is told from the merged ones by its serial.
    ASSERT_TRUE(Run(ID_NEW_NOTE));
    const CNoteBook& merged = *frame->GetNoteBook();
    ASSERT_EQ(merged.GetCount(), 5u);
    for (std::size_t i = 0; i < merged.GetCount(); ++i)
        EXPECT_EQ(merged.FindNote(merged.GetNoteAtIndex(i)->GetSerial()), merged.GetNoteAtIndex(i)) << i;

    // Opened from a damaged file, the notebook itself cannot tell what it lost: every note of
    // both stays.
    ASSERT_TRUE(frame->SaveBook());
    CutShort({{"A", "a"}, {"B", "b"}}).Save(path);
    frame->CloseBook();
    frame->GetBookController().OpenFile(path);
    ASSERT_TRUE(frame->GetNoteBook()->WasFilledOut());
    Edit(0, "a mine");
    OtherProgramReplaces(path, {{"A", "a"}, {"B", "b"}, {"C", "c"}});
    boxes.boxes.clear();
    boxes.answers = {IDMERGE};
    EXPECT_FALSE(frame->SaveBook());
    ASSERT_EQ(boxes.boxes.size(), 2u);
    EXPECT_EQ(boxes.boxes[1].text, Damaged("book.pelm"));
    EXPECT_EQ(Contents(*frame->GetNoteBook()),
              (Notes{{"A", "a mine"}, {"A" + kCopy, "a"}, {"B", "b"}, {"C", "c"}, {"New Note 3", ""}}));
}

TEST_F(BookMergeTest, ASyncToolsConflictCopyIsOfferedAtOpenAndPutAwayAfterTheSave)
{
    SaveNew({{"A", "a"}, {"B", "b"}});
    // A save keeps the version it replaces: the one both sides grew from.
    Edit(0, "a mine");
    boxes.answers = {};
    ASSERT_TRUE(frame->SaveBook());
    const std::string copy = dir.File("book.sync-conflict-20261209-101500-ABCDEF1.pelm");
    Bytes({{"A", "a"}, {"B", "b theirs"}}).Save(copy);
    Bytes({{"A", "a"}}).Save(dir.File("other.sync-conflict-20261209-101500-ABCDEF1.pelm"));
    frame->CloseBook();

    boxes.answers = {IDYES};
    frame->GetBookController().OpenFile(path);
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_NE(boxes.boxes[0].text.find("book.sync-conflict-20261209-101500-ABCDEF1.pelm"), std::string::npos);
    EXPECT_EQ(Contents(*frame->GetNoteBook()), (Notes{{"A", "a mine"}, {"B", "b theirs"}}));
    EXPECT_TRUE(frame->GetNoteBook()->IsModified());
    EXPECT_TRUE(fs::exists(copy)) << "until the merge is saved";

    ASSERT_TRUE(frame->SaveBook());
    EXPECT_FALSE(fs::exists(copy));
    EXPECT_TRUE(fs::exists(CBackupStore::DefaultFolder() + "/" + fs::path(copy).filename().string()));
    EXPECT_TRUE(fs::exists(dir.File("other.sync-conflict-20261209-101500-ABCDEF1.pelm")));
}

TEST_F(BookMergeTest, AConflictCopyThatNeverHadANoteOfTheBackupLeavesItInTheNotebook)
{
    SaveNew({{"A", "a"}, {"B", "b"}, {"K", "kept"}});
    Edit(0, "a mine");
    boxes.answers = {};
    ASSERT_TRUE(frame->SaveBook());
    // The copy grew from an older version than the backup, one without K.
    const std::string copy = dir.File("book (conflicted copy 2026-12-09 101500).pelm");
    Bytes({{"A", "a"}, {"B", "b theirs"}}).Save(copy);
    frame->CloseBook();

    boxes.answers = {IDYES};
    frame->GetBookController().OpenFile(path);
    ASSERT_EQ(boxes.boxes.size(), 1u);
    // Merged against the backup (no note kept twice), and K not taken as deleted there.
    EXPECT_EQ(Contents(*frame->GetNoteBook()), (Notes{{"A", "a mine"}, {"B", "b theirs"}, {"K", "kept"}}));
    ASSERT_TRUE(frame->SaveBook());
    EXPECT_EQ(OnDisk(path), (Notes{{"A", "a mine"}, {"B", "b theirs"}, {"K", "kept"}}));
}

namespace {

// Another program saves a notebook with these secrets: written beside and renamed over.
void OtherProgramSaves(const std::string& path, const Notes& notes, const std::string& password,
                       std::shared_ptr<const CNoteBookSecret> secret)
{
    CNoteBook other;
    other.SetPassword(password);
    other.SetSecret(std::move(secret));
    for (const auto& [title, text] : notes) {
        CNote* note = other.AddNote(true, false);
        note->SetTitle(title);
        note->SetText(text);
    }
    ASSERT_TRUE(other.WriteFile(path + ".tmp"));
    ASSERT_EQ(std::rename((path + ".tmp").c_str(), path.c_str()), 0);
}

} // namespace

TEST_F(BookMergeTest, LockedAndEncryptedNotebooksMergeWithTheirSecretsAndNoQuestion)
{
    SaveNew({{"A", "a"}, {"B", "b"}});
    frame->GetNoteBook()->SetPassword("secret1");
    Edit(0, "a");
    ASSERT_TRUE(frame->SaveBook());
    OtherProgramSaves(path, {{"A", "a"}, {"B", "b theirs"}}, "secret1", nullptr);
    Edit(0, "a mine");
    boxes.answers = {IDMERGE};
    EXPECT_FALSE(frame->SaveBook());
    EXPECT_EQ(boxes.boxes.size(), 1u) << "no error, no password asked";
    EXPECT_EQ(Contents(*frame->GetNoteBook()), (Notes{{"A", "a mine"}, {"B", "b theirs"}}));
    EXPECT_EQ(frame->GetNoteBook()->GetPassword(), "secret1");

    // Encrypted: the kept version is the encrypted file itself, and the merge stays encrypted.
    const std::string encrypted = dir.File("book.pelmx");
    const auto secret =
        CNoteBookSecret::Create(CSecureBytes(std::string_view("correct horse")), CSealKey::Params{1, 8192});
    frame->GetNoteBook()->SetPassword("");
    frame->GetNoteBook()->SetSecret(secret);
    CFileDialog::SetNextFileName(QString::fromStdString(encrypted));
    ASSERT_TRUE(frame->SaveBookAs());
    OtherProgramSaves(encrypted, {{"A", "a mine"}, {"B", "b theirs again"}, {"C", "c"}}, "", secret);
    Edit(1, "b mine");
    boxes.boxes.clear();
    boxes.answers = {IDMERGE};
    EXPECT_FALSE(frame->SaveBook());
    EXPECT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(Contents(*frame->GetNoteBook()),
              (Notes{{"A", "a mine"}, {"B", "b mine"}, {"B" + kCopy, "b theirs again"}, {"C", "c"}}));
    ASSERT_NE(frame->GetNoteBook()->GetSecret(), nullptr);
    bool keptEncrypted = false;
    for (const auto& entry : fs::directory_iterator(CAncestorStore::DefaultFolder()))
        if (entry.path().filename().string().find("book.pelmx") != std::string::npos)
            keptEncrypted = CEncryptedFile::HasMagic(entry.path().string());
    EXPECT_TRUE(keptEncrypted);
}

TEST_F(BookMergeTest, AVersionLockedWithAnotherPasswordIsAskedForAndAWrongOneMergesNothing)
{
    SaveNew({{"A", "a"}, {"B", "b"}});
    frame->GetNoteBook()->SetPassword("secret1");
    Edit(0, "a");
    ASSERT_TRUE(frame->SaveBook());
    OtherProgramSaves(path, {{"A", "a"}, {"B", "b theirs"}}, "changed2", nullptr);
    Edit(0, "a mine");

    CPasswordDlg::SetNextAnswer(IDOK, "wrong99");
    boxes.answers = {IDMERGE};
    EXPECT_FALSE(frame->SaveBook());
    ASSERT_EQ(boxes.boxes.size(), 2u);
    EXPECT_EQ(boxes.boxes[1].text, "ERROR: Could not read file.");
    EXPECT_EQ(Contents(*frame->GetNoteBook()), (Notes{{"A", "a mine"}, {"B", "b"}})) << "as it was";

    CPasswordDlg::SetNextAnswer(IDOK, "changed2");
    boxes.boxes.clear();
    boxes.answers = {IDMERGE};
    EXPECT_FALSE(frame->SaveBook());
    EXPECT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(Contents(*frame->GetNoteBook()), (Notes{{"A", "a mine"}, {"B", "b theirs"}}));
    EXPECT_EQ(frame->GetNoteBook()->GetPassword(), "secret1") << "ours";
}

TEST_F(BookMergeTest, FindAllSearchesTheMergedNotebook)
{
    SaveNew({{"A", "a"}, {"B", "b"}});
    OtherProgramReplaces(path, {{"A", "theirs"}, {"B", "b"}});
    Edit(0, "mine");
    boxes.answers = {IDMERGE};
    EXPECT_FALSE(frame->SaveBook());
    ASSERT_EQ(frame->GetNoteBook()->GetCount(), 3u);

    CFindAllPane* pane = frame->m_wndFindAllDock->GetPane();
    frame->m_wndSearchBar->Edit()->setText("changed elsewhere");
    List()->setFocus();
    QTest::keyClick(List(), Qt::Key_F, Qt::ControlModifier | Qt::ShiftModifier);
    QElapsedTimer timer;
    timer.start();
    while ((pane->IsSearching() || pane->GetModel()->rowCount() == 0) && timer.elapsed() < 60000)
        QTest::qWait(5);
    ASSERT_EQ(pane->GetModel()->rowCount(), 1);
    EXPECT_EQ(pane->GetModel()->index(0, 0).data().toString().toStdString(), "A" + kCopy);
}
