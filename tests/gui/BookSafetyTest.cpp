#include "app/CPelmoraApp.h"
#include "app/CRecoveryKeeper.h"
#include "platform/CAncestorStore.h"
#include "platform/CBackupStore.h"
#include "platform/CRecoverySlot.h"
#include "platform/qt/CSliceProgress.h"
#include "support/FaultyCalls.h"
#include "support/FirstBar.h"
#include "support/NoteBookBytes.h"
#include "support/PaneFixture.h"
#include "support/ScopedCount.h"
#include "support/TempDir.h"

#include <QProcess>
#include <QProgressDialog>
#include <QStatusBar>
#include <QTimer>

#include <filesystem>
#include <sys/stat.h>
#include <thread>

namespace fs = std::filesystem;

namespace {

const char* const kChanged = "The notebook \"book.pelm\" was changed by another program since you opened or "
                             "saved it. Save your version over it?";

std::vector<std::string> Titles(const CNoteBook& book)
{
    std::vector<std::string> titles;
    for (std::size_t i = 0; i < book.GetCount(); ++i)
        titles.push_back(book.GetNoteAtIndex(i)->GetTitle());
    return titles;
}

// Another program (a sync tool, the Windows program) replaces the file in place.
void OtherProgramWrites(const std::string& path, const std::vector<std::string>& titles)
{
    NoteBookBytes::Header header;
    header.count = static_cast<std::uint32_t>(titles.size());
    NoteBookBytes bytes;
    bytes.Head(header);
    for (const std::string& title : titles)
        bytes.Note(1, title, "");
    bytes.Save(path);
}

std::vector<std::string> TitlesOnDisk(const std::string& path)
{
    CNoteBook book;
    EXPECT_TRUE(book.ReadFile(path));
    return Titles(book);
}

// Two notes whose texts stay in the file until first read.
void WriteUnread(const std::string& path)
{
    NoteBookBytes::Header header;
    header.count = 2;
    NoteBookBytes bytes;
    bytes.Head(header).Note(1, "Unread", std::string(100, 'u')).Note(2, "Also unread", std::string(100, 'a'));
    bytes.Save(path);
}

std::vector<std::string> Entries(const std::string& folder)
{
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::size_t KeptVersions(const std::string& folder)
{
    const std::vector<std::string> names = Entries(folder);
    return static_cast<std::size_t>(std::count_if(names.begin(), names.end(), [](const std::string& name) {
        return name.size() > 10 && name.compare(name.size() - 10, 10, "-book.pelm") == 0;
    }));
}

ino_t Inode(const std::string& path)
{
    struct stat st
    {
    };
    return ::stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

} // namespace

class BookSafetyTest : public PaneTest
{
protected:
    bool Run(int id) { return frame->GetRouter().Run(id); }

    // The frame holds a saved notebook of these notes at book.pelm.
    void SaveNew(const Notes& notes)
    {
        OpenNotes(notes);
        CFileDialog::SetNextFileName(QString::fromStdString(path));
        ASSERT_TRUE(Run(ID_FILE_SAVE));
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

    // What a killed Pelmora leaves: the copy the keeper wrote, whose lock the process took along.
    void LeaveCopyBehind()
    {
        ASSERT_TRUE(frame->GetBookController().GetRecoveryKeeper()->Flush());
        const fs::path aside = dir.File("aside");
        fs::copy(recovery, aside);
        book->SetModifiedFlag(false);
        frame->CloseBook();
        fs::remove_all(recovery);
        fs::copy(aside, recovery);
        fs::remove_all(aside);
    }

    std::vector<std::string> Copies()
    {
        std::vector<std::string> found;
        for (const auto& left : CRecoverySlot::FindLeftBehind(recovery))
            found.push_back(left.notebookPath);
        return found;
    }

    TempDir dir;
    std::string path = dir.File("book.pelm");
    std::string recovery = CRecoverySlot::DefaultFolder();
};

TEST_F(BookSafetyTest, AChangeOnDiskIsCaughtAtSaveAndAtTheClosingPrompt)
{
    SaveNew({{"Base", ""}});
    OtherProgramWrites(path, {"Base", "FromOtherDevice"});
    Run(ID_NEW_NOTE);

    boxes.answers = {IDCANCEL};
    {
        // The file's bytes tell, read aside while the window paints.
        const FirstBar reading(*frame, FirstBar::Look);
        EXPECT_FALSE(frame->SaveBook());
        EXPECT_EQ(reading.Label(), "Reading NoteBook...");
    }
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].text, kChanged);
    EXPECT_EQ(boxes.boxes[0].style, unsigned(MB_YESNOCANCEL | MB_ICONQUESTION | MB_DEFBUTTON3 | MB_MERGE));
    EXPECT_EQ(TitlesOnDisk(path), (std::vector<std::string>{"Base", "FromOtherDevice"}));

    // No: the changes go to another file, the other program's stay.
    boxes.answers = {IDNO};
    CFileDialog::SetNextFileName(QString::fromStdString(dir.File("mine.pelm")));
    EXPECT_TRUE(frame->SaveBook());
    EXPECT_EQ(TitlesOnDisk(path), (std::vector<std::string>{"Base", "FromOtherDevice"}));
    EXPECT_EQ(TitlesOnDisk(dir.File("mine.pelm")), (std::vector<std::string>{"New Note 2", "Base"}));

    // The closing prompt's Yes asks the same question; Yes writes over the other program's file.
    OtherProgramWrites(dir.File("mine.pelm"), {"Theirs"});
    Run(ID_NEW_NOTE);
    boxes.boxes.clear();
    boxes.answers = {IDYES, IDYES};
    EXPECT_TRUE(frame->close());
    ASSERT_EQ(boxes.boxes.size(), 2u);
    EXPECT_EQ(boxes.boxes[1].text, std::string(kChanged).replace(14, 9, "mine.pelm"));
    EXPECT_EQ(TitlesOnDisk(dir.File("mine.pelm")).size(), 3u);
}

TEST_F(BookSafetyTest, ReloadIsOfferedWhenTheWindowComesBackAndUnsavedChangesAreOnlyNoted)
{
    SaveNew({{"Base", ""}});
    Reactivate();
    EXPECT_TRUE(boxes.boxes.empty()) << "nothing changed on disk";

    OtherProgramWrites(path, {"Base", "FromOtherDevice"});
    boxes.answers = {IDYES};
    Reactivate();
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].text, "The notebook \"book.pelm\" was changed by another program. Reload it?");
    ASSERT_TRUE(frame->IsBookOpen());
    EXPECT_EQ(Titles(*frame->GetNoteBook()), (std::vector<std::string>{"Base", "FromOtherDevice"}));
    EXPECT_FALSE(frame->GetNoteBook()->IsModified());

    Run(ID_NEW_NOTE);
    OtherProgramWrites(path, {"Third"});
    Reactivate();
    ASSERT_EQ(boxes.boxes.size(), 2u)
        << "with unsaved changes Merge is offered, or the decision left to Save";
    EXPECT_EQ(boxes.boxes[1].style, unsigned(MB_OK | MB_ICONQUESTION | MB_MERGE));
    EXPECT_EQ(frame->statusBar()->currentMessage(),
              "The notebook was changed by another program. Save will ask before writing over it.");
    EXPECT_EQ(frame->GetNoteBook()->GetCount(), 3u);
}

TEST_F(BookSafetyTest, TextsNotYetReadWhenAnotherProgramWritesInPlaceAreNamedAndTheRestSavedWhenTheUserSays)
{
    WriteUnread(path);
    frame->OpenBook(path);
    ASSERT_TRUE(frame->IsBookOpen());
    Run(ID_NEW_NOTE);

    OtherProgramWrites(path, {"Theirs"});
    Reactivate();
    ASSERT_EQ(boxes.boxes.size(), 1u) << "no Merge: the notebook in the window is not whole";
    EXPECT_EQ(boxes.boxes[0].text,
              "Another program changed the notebook \"book.pelm\" while it was open: the texts of notes not "
              "yet read from it are gone from this window, and it cannot be merged. Saving names those notes "
              "first and keeps every other note and every title.");

    // Going back saves nothing; saving keeps every note the window holds.
    for (const int answer : {IDNO, IDYES}) {
        boxes.boxes.clear();
        boxes.answers = {IDYES, answer};
        Run(ID_FILE_SAVE);
        ASSERT_EQ(boxes.boxes.size(), 2u);
        EXPECT_EQ(boxes.boxes[0].text, kChanged);
        const std::string& named = boxes.boxes[1].text;
        EXPECT_NE(named.find("\n\"Unread\"\n\"Also unread\"\n"), std::string::npos) << named;
        EXPECT_EQ(frame->GetNoteBook()->IsModified(), answer == IDNO);
    }
    EXPECT_EQ(TitlesOnDisk(path), (std::vector<std::string>{"New Note 3", "Unread", "Also unread"}));
}

// A Pelmora killed with the notebook open leaves what it kept behind; the next window takes that for
// no change of the notebook, saves, and leaves only its own behind.
TEST_F(BookSafetyTest, AWindowKilledWithTheNotebookOpenStopsNoLaterSave)
{
    WriteUnread(path);
    const std::string ancestors = CAncestorStore::DefaultFolder();
    QProcess killed;
    killed.start(PELMORA_PROGRAM, {QString::fromStdString(path)});
    ASSERT_TRUE(killed.waitForStarted());
    for (int wait = 0; wait < 600 && KeptVersions(ancestors) == 0; ++wait)
        QTest::qWait(50);
    ASSERT_EQ(KeptVersions(ancestors), 1u) << "the other window keeps its version";
    killed.kill();
    ASSERT_TRUE(killed.waitForFinished());

    frame->OpenBook(path);
    ASSERT_TRUE(frame->IsBookOpen());
    Run(ID_NEW_NOTE);
    ASSERT_TRUE(Run(ID_FILE_SAVE));
    EXPECT_TRUE(boxes.boxes.empty()) << boxes.boxes.front().text;
    CNoteBook saved;
    ASSERT_TRUE(saved.ReadFile(path));
    ASSERT_EQ(Titles(saved), Titles(*frame->GetNoteBook()));
    EXPECT_EQ(saved.GetNoteAtIndex(2)->GetText(), std::string(100, 'a'));
    EXPECT_EQ(KeptVersions(ancestors), 1u) << "the dead window's version went";
    frame->CloseBook();
    EXPECT_EQ(Entries(recovery), std::vector<std::string>{}) << "a notebook closed leaves no lock behind";
    EXPECT_EQ(Entries(ancestors), std::vector<std::string>{});
}

// Exit ends the process without taking the window apart, and only once the notebook is saved as the
// user chose and its lock, recovery copy and kept version are gone.
TEST_F(BookSafetyTest, ExitEndsTheProcessWithTheChangesSavedAndNothingLeftBehind)
{
    WriteUnread(path);
    const std::string ancestors = CAncestorStore::DefaultFolder();
    // The program's window must be the last one for its event loop to end.
    frame->hide();
    CPelmoraApp pelmora;
    ASSERT_TRUE(pelmora.InitInstance({"pelmora", path}));
    MessageBoxRecorder quitting;
    quitting.answers = {IDYES};
    CMainFrame& window = *pelmora.GetMainWnd();
    ASSERT_TRUE(window.IsBookOpen());
    window.GetRouter().Run(ID_NEW_NOTE);
    ASSERT_TRUE(window.GetBookController().GetRecoveryKeeper()->Flush());
    ASSERT_FALSE(Entries(recovery).empty());
    for (int wait = 0; wait < 600 && KeptVersions(ancestors) == 0; ++wait)
        QTest::qWait(10);
    ASSERT_EQ(KeptVersions(ancestors), 1u);

    std::vector<int> ends;
    std::vector<std::string> leftAtEnd;
    pelmora.SetProcessEnd([&](int code) {
        ends.push_back(code);
        leftAtEnd = Entries(recovery);
        const std::vector<std::string> kept = Entries(ancestors);
        leftAtEnd.insert(leftAtEnd.end(), kept.begin(), kept.end());
    });
    QTimer::singleShot(0, &window, [&window] { window.GetRouter().Run(ID_APP_EXIT); });
    EXPECT_EQ(pelmora.Run(), 0);

    EXPECT_EQ(ends, std::vector<int>{0}) << "the process ends once, after the loop";
    ASSERT_EQ(quitting.boxes.size(), 1u);
    EXPECT_EQ(quitting.boxes[0].text, "Do you wish to save your changes?");
    EXPECT_EQ(leftAtEnd, std::vector<std::string>{});
    EXPECT_FALSE(window.IsBookOpen());
    CNoteBook saved;
    ASSERT_TRUE(saved.ReadFile(path));
    EXPECT_EQ(Titles(saved), (std::vector<std::string>{"New Note 3", "Unread", "Also unread"}));
    EXPECT_EQ(saved.GetNoteAtIndex(2)->GetText(), std::string(100, 'a'));
}

// A sync tool renames a new version over the open notebook: the texts not yet read are still the
// old file's, and the recovery copies go on.
TEST_F(BookSafetyTest, ASyncToolsRenameKeepsTheTextsAndTheRecoveryCopies)
{
    WriteUnread(path);
    frame->OpenBook(path);
    ASSERT_TRUE(frame->IsBookOpen());
    const std::string synced = dir.File(".syncthing.book.pelm.tmp");
    OtherProgramWrites(synced, {"Theirs"});
    fs::rename(synced, path);
    Run(ID_NEW_NOTE);
    EXPECT_TRUE(frame->GetBookController().GetRecoveryKeeper()->Flush());
    const std::vector<std::string> state = Entries(recovery);
    EXPECT_EQ(std::count_if(state.begin(), state.end(),
                            [](const std::string& name) { return fs::path(name).extension() == ".pelm"; }),
              1);
    EXPECT_EQ(frame->GetNoteBook()->FindLostText(), nullptr);
    EXPECT_EQ(frame->GetNoteBook()->GetNoteAtIndex(2)->GetText(), std::string(100, 'a'));
}

// A save whose folder could not be synced put our file in place all the same: the next save
// takes it for ours, not for another program's change.
TEST_F(BookSafetyTest, AFileReplacedButNotMadeDurableIsNoChangeByAnotherProgram)
{
    SaveNew({{"Base", ""}});
    Run(ID_NEW_NOTE);
    {
        FaultyCalls syncFails([&](const std::string& call, const std::string& at) {
            return call == "Fsync" && at == fs::canonical(dir.Path()).string() ? EIO : 0;
        });
        Run(ID_FILE_SAVE);
    }
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].text.rfind("ERROR: Could not create/modify specified file.", 0), 0u);
    EXPECT_TRUE(frame->GetNoteBook()->IsModified());
    boxes.boxes.clear();
    Run(ID_FILE_SAVE);
    EXPECT_TRUE(boxes.boxes.empty()) << boxes.boxes.front().text;
    EXPECT_FALSE(frame->GetNoteBook()->IsModified());
    EXPECT_EQ(TitlesOnDisk(path).size(), 2u);
}

TEST_F(BookSafetyTest, ASecondPelmoraIsWarnedAndOpensOnlyWhenTold)
{
    SaveNew({{"Base", ""}});
    {
        CMainFrame second;
        ASSERT_TRUE(second.Create());
        second.OpenBook(path); // the default answer: No
        ASSERT_EQ(boxes.boxes.size(), 1u);
        EXPECT_EQ(boxes.boxes[0].text,
                  "The notebook \"book.pelm\" is already open in another Pelmora window. "
                  "What is saved in one window can overwrite what is saved in the other. "
                  "Open it anyway?");
        EXPECT_FALSE(second.IsBookOpen());
        boxes.answers = {IDYES};
        second.OpenBook(path);
        EXPECT_TRUE(second.IsBookOpen());
    }
    SetAppMainFrame(frame.get());
    frame->CloseBook();
    boxes.boxes.clear();
    frame->OpenBook(path);
    EXPECT_TRUE(boxes.boxes.empty()) << "closed in both: no warning";
}

TEST_F(BookSafetyTest, UnsavedChangesLeftBehindAreOfferedAtOpenAndAtAStartWithoutANotebook)
{
    SaveNew({{"Base", "saved"}});
    Activate(0);
    QTest::keyClicks(Text(), "typed ");
    LeaveCopyBehind();
    ASSERT_EQ(Copies(), std::vector<std::string>{path});

    boxes.answers = {IDYES};
    frame->OpenBook(path);
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].text,
              "Pelmora was closed without saving \"book.pelm\". Recover the unsaved changes?\n\nNo: give "
              "them up. Cancel: decide later; nothing is opened now.");
    ASSERT_TRUE(frame->IsBookOpen());
    EXPECT_EQ(frame->GetNoteBook()->GetNoteAtIndex(0)->GetText(), "typed saved");
    EXPECT_TRUE(frame->GetNoteBook()->IsModified());
    EXPECT_EQ(frame->GetNoteBook()->GetPath().GetPath(), path);
    EXPECT_EQ(frame->windowTitle(), "Pelmora - book");
    // No at the save prompt gives the changes up, and the copy with them.
    boxes.answers = {IDNO};
    EXPECT_TRUE(frame->close());
    EXPECT_TRUE(Copies().empty());
    EXPECT_EQ(TitlesOnDisk(path), std::vector<std::string>{"Base"});

    // A new notebook that was never saved: Cancel (Escape) keeps the copy for later, No deletes
    // it, Yes brings the notes back.
    frame->show();
    OpenNotes({{"Unsaved", ""}});
    book->SetModified();
    LeaveCopyBehind();
    boxes.answers = {IDCANCEL};
    frame->OfferRecovery();
    EXPECT_EQ(Copies(), std::vector<std::string>{""});
    EXPECT_FALSE(frame->IsBookOpen());
    boxes.boxes.clear();
    boxes.answers = {IDNO};
    frame->OfferRecovery();
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].text,
              "Pelmora was closed without saving \"Untitled\". Recover the unsaved changes?\n\nNo: give them "
              "up. Cancel: decide later; nothing is opened now.");
    EXPECT_TRUE(Copies().empty());
    EXPECT_FALSE(frame->IsBookOpen());

    OpenNotes({{"Unsaved", ""}});
    book->SetModified();
    LeaveCopyBehind();
    boxes.answers = {IDYES};
    frame->OfferRecovery();
    ASSERT_TRUE(frame->IsBookOpen());
    EXPECT_EQ(Titles(*frame->GetNoteBook()), std::vector<std::string>{"Unsaved"});
    EXPECT_FALSE(frame->GetNoteBook()->GetPath().HasPath());
    EXPECT_TRUE(frame->GetNoteBook()->IsModified());
}

// A notebook of more notes than a step is saved a step at a time, the window's events delivered
// between steps; Cancel leaves the file, its folder and the notebook as they were, and says so.
TEST_F(BookSafetyTest, ALargeSaveLetsTheWindowRunBetweenStepsAndItsCancelLeavesTheFile)
{
    const ScopedCount<CSliceProgress::SetPiecesPerSlice> slices(1);
    {
        CNoteBook large;
        for (int i = 0; i < 20000; ++i)
            large.AddNote(true, false)->SetText("note " + std::to_string(i));
        ASSERT_TRUE(large.WriteFile(path));
    }
    const std::string before = NoteBookBytes::Load(path);
    const std::vector<std::string> entries = Entries(dir.Path());

    // The open reads aside too, the window showing no half-read notebook; its Cancel opens nothing
    // and says nothing.
    int rowsWhileReading = -1;
    {
        const FirstBar reading(*frame, FirstBar::Cancel, [&] {
            rowsWhileReading = frame->GetNotePanel()->GetListPane()->GetListCtrl()->GetItemCount();
        });
        frame->OpenBook(path);
        EXPECT_EQ(reading.Label(), "Reading NoteBook...");
    }
    EXPECT_EQ(rowsWhileReading, 0);
    EXPECT_FALSE(frame->IsBookOpen());
    EXPECT_TRUE(boxes.boxes.empty());
    frame->OpenBook(path);
    book = frame->GetNoteBook();
    ASSERT_EQ(book->GetCount(), 20000u);
    book->GetNoteAtIndex(19999)->SetTitle("changed");
    book->SetModified();

    const auto saveCancelled = [&] {
        const FirstBar saving(*frame, FirstBar::Cancel);
        EXPECT_FALSE(frame->SaveBook());
        EXPECT_EQ(saving.Label(), "Saving NoteBook...");
    };
    saveCancelled();
    EXPECT_EQ(NoteBookBytes::Load(path), before);
    EXPECT_EQ(Entries(dir.Path()), entries);
    EXPECT_TRUE(book->IsModified());
    EXPECT_EQ(book->GetNoteAtIndex(19999)->GetTitle(), "changed");
    EXPECT_EQ(frame->statusBar()->currentMessage(), "Save cancelled: the file was left as it was.");

    // Past the last step the file is made durable on a thread of its own; a failure there is told
    // and loses nothing.
    std::vector<std::thread::id> syncedOn;
    {
        FaultyCalls syncFails([&](const std::string& call, const std::string&) {
            if (call != "Fsync")
                return 0;
            syncedOn.push_back(std::this_thread::get_id());
            return EIO;
        });
        EXPECT_FALSE(frame->SaveBook());
    }
    ASSERT_FALSE(syncedOn.empty());
    EXPECT_NE(syncedOn.front(), std::this_thread::get_id());
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].text.rfind("ERROR: ", 0), 0u) << boxes.boxes[0].text;
    boxes.boxes.clear();
    EXPECT_EQ(NoteBookBytes::Load(path), before);
    EXPECT_TRUE(book->IsModified());

    // Every step lets the window's events through: a timer that fires at each delivery counts them.
    int deliveries = 0;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] { ++deliveries; });
    tick.start(0);
    ASSERT_TRUE(frame->SaveBook());
    tick.stop();
    EXPECT_GE(deliveries, 2) << "20,000 notes are three steps";
    EXPECT_FALSE(book->IsModified());
    EXPECT_EQ(TitlesOnDisk(path).back(), "changed");
    EXPECT_EQ(frame->findChild<QProgressDialog*>(), nullptr);

    // A few long notes are as many steps as their bytes need.
    const std::string longNotes = dir.File("long.pelm");
    {
        CNoteBook few;
        for (char letter : {'x', 'y', 'z'})
            few.AddNote(true, false)->SetText(std::string(4 << 20, letter));
        ASSERT_TRUE(few.WriteFile(longNotes));
    }
    frame->OpenBook(longNotes);
    book = frame->GetNoteBook();
    book->GetNoteAtIndex(0)->SetTitle("changed");
    book->SetModified();
    saveCancelled();
    EXPECT_NE(TitlesOnDisk(longNotes).front(), "changed");
}

// After Save As the texts not yet read come from the new file: a program writing into the old
// one in place takes nothing away, and the next save and recovery copy go on.
TEST_F(BookSafetyTest, AfterSaveAsAWriteIntoTheOldFileTakesNoText)
{
    WriteUnread(path);
    frame->OpenBook(path);
    book = frame->GetNoteBook();
    ASSERT_TRUE(book->GetNoteAtIndex(0)->HasStoredText());
    book->SetModified();
    const std::string other = dir.File("saved-1.pelm");
    CFileDialog::SetNextFileName(QString::fromStdString(other));
    ASSERT_TRUE(frame->SaveBookAs());
    book = frame->GetNoteBook();
    OtherProgramWrites(path, {"Written over"});

    book->SetModified();
    EXPECT_TRUE(frame->SaveBook());
    EXPECT_TRUE(boxes.boxes.empty());
    CNoteBook saved;
    ASSERT_TRUE(saved.ReadFile(other));
    ASSERT_EQ(saved.GetCount(), 2u);
    EXPECT_EQ(saved.GetNoteAtIndex(0)->GetText(), std::string(100, 'u'));
    EXPECT_EQ(saved.GetNoteAtIndex(1)->GetText(), std::string(100, 'a'));
    book->SetModified();
    EXPECT_TRUE(frame->GetBookController().GetRecoveryKeeper()->Flush());
}

TEST_F(BookSafetyTest, EachSaveKeepsTheVersionItReplacesAndTheLastTwoStay)
{
    SaveNew({{"v1", ""}});
    const std::string backups = CBackupStore::DefaultFolder();
    for (const char* title : {"v2", "v3"}) {
        const ino_t replaced = Inode(path);
        book->GetNoteAtIndex(0)->SetTitle(title);
        book->SetModified();
        ASSERT_TRUE(Run(ID_FILE_SAVE));
        EXPECT_EQ(Inode(CBackupStore::BackupPath(path, backups, 1)), replaced) << "a hard link, no copy";
    }
    EXPECT_EQ(TitlesOnDisk(path), std::vector<std::string>{"v3"});
    EXPECT_EQ(TitlesOnDisk(CBackupStore::BackupPath(path, backups, 1)), std::vector<std::string>{"v2"});
    EXPECT_EQ(TitlesOnDisk(CBackupStore::BackupPath(path, backups, 2)), std::vector<std::string>{"v1"});
    EXPECT_EQ(fs::path(CBackupStore::BackupPath(path, backups, 1)).filename().string().substr(0, 5), "book-");
}

TEST_F(BookSafetyTest, AFileNameThatIsNotUtf8IsSavedOpenedAndShown)
{
    const std::string odd = dir.File("bad\xffname.pelm");
    OpenNotes({{"n", "x"}});
    CFileDialog::SetNextFilePath(odd);
    ASSERT_TRUE(Run(ID_FILE_SAVE));
    EXPECT_TRUE(fs::exists(odd));
    EXPECT_EQ(frame->windowTitle(), QString("Pelmora - bad%1name").arg(QChar(0xFFFD)));
    frame->CloseBook();

    CFileDialog::SetNextFilePath(odd);
    Run(ID_FILE_OPEN);
    ASSERT_TRUE(frame->IsBookOpen());
    EXPECT_EQ(frame->GetNoteBook()->GetPath().GetPath(), odd);
    EXPECT_EQ(Titles(*frame->GetNoteBook()), std::vector<std::string>{"n"});
}
