#include "support/NoteBookBytes.h"
#include "support/PaneFixture.h"
#include "support/TempDir.h"
#include "views/CNotePanel.h"

#include <QKeyEvent>
#include <QLabel>
#include <QStatusBar>

#include <filesystem>
#include <fstream>
#include <sys/stat.h>

class BookCommandsTest : public PaneTest
{
protected:
    bool Run(int id) { return frame->GetRouter().Run(id); }
    QString Status() { return frame->statusBar()->currentMessage(); }

    // A notebook on disk with these notes, written through a frame of its own.
    std::string Saved(const std::string& name, const Notes& notes, const std::string& password = {})
    {
        OpenNotes(notes);
        book->SetPassword(password);
        const std::string path = dir.File(name);
        EXPECT_TRUE(book->WriteFile(path));
        frame->CloseBook();
        return path;
    }

    // Records the status line at the moment each message box shows.
    void WatchStatus()
    {
        SetMessageBoxHandler([this](const std::string& text, unsigned, const std::string&) {
            statusAtBox.push_back(Status());
            texts.push_back(text);
            return answers.empty() ? IDCANCEL : answers.takeFirst();
        });
    }

    // A Windows-1252 notebook made byte by byte, as the Windows program writes it.
    std::string WindowsNoteBook(const std::string& name, const Notes& notes)
    {
        NoteBookBytes::Header h;
        h.count = static_cast<std::uint32_t>(notes.size());
        NoteBookBytes file;
        file.Head(h);
        std::int32_t serial = 0;
        for (const auto& [title, text] : notes)
            file.Note(++serial, title, text);
        const std::string path = dir.File(name);
        file.Save(path);
        return path;
    }

    // The saved file ends with these note records.
    static bool EndsWith(const std::string& path, const NoteBookBytes& records)
    {
        const std::string bytes = NoteBookBytes::Load(path);
        return bytes.size() >= records.bytes.size() &&
               bytes.compare(bytes.size() - records.bytes.size(), records.bytes.size(), records.bytes) == 0;
    }

    QString CodePagePane() { return frame->findChild<QLabel*>("codePage")->text(); }
    bool CodePagePaneShown() { return !frame->findChild<QLabel*>("codePage")->isHidden(); }

    TempDir dir;
    QStringList statusAtBox;
    std::vector<std::string> texts;
    QList<int> answers;
};

TEST_F(BookCommandsTest, NewAsksOnlyForAModifiedNotebookAndCancelKeepsIt)
{
    OpenNotes({{"a", "x"}});
    ASSERT_TRUE(Run(ID_FILE_NEW));
    EXPECT_EQ(frame->GetNoteBook()->GetCount(), 0u) << "unchanged: closed without a question";
    EXPECT_TRUE(boxes.boxes.empty());

    OpenNotes({{"a", "x"}});
    book->SetModified();
    CNoteBook* first = frame->GetNoteBook();
    Run(ID_FILE_NEW); // no answer queued: Cancel
    EXPECT_EQ(frame->GetNoteBook(), first);
    EXPECT_TRUE(first->IsModified());

    boxes.answers.push_back(IDNO);
    Run(ID_FILE_NEW);
    EXPECT_EQ(frame->GetNoteBook()->GetCount(), 0u);
    EXPECT_FALSE(frame->GetNoteBook()->IsModified());
    EXPECT_EQ(frame->windowTitle(), "Pelmora");
}

TEST_F(BookCommandsTest, YesWithoutAPathAsksForAFileAndCancellingKeepsEverything)
{
    OpenNotes({{"a", "x"}});
    book->SetModified();
    boxes.answers.push_back(IDYES);
    CFileDialog::SetNextFileName({}); // the Save As dialog, cancelled
    Run(ID_FILE_NEW);
    EXPECT_EQ(frame->GetNoteBook(), book);
    EXPECT_TRUE(book->IsModified());

    boxes.answers.push_back(IDYES);
    CFileDialog::SetNextFileName(QString::fromStdString(dir.File("saved.pelm")));
    Run(ID_FILE_NEW);
    EXPECT_EQ(frame->GetNoteBook()->GetCount(), 0u);
    EXPECT_TRUE(std::filesystem::exists(dir.File("saved.pelm")));
}

TEST_F(BookCommandsTest, OpenAnsweredNoThenCancelledKeepsTheOldNotebook)
{
    OpenNotes({{"a", "x"}});
    book->SetModified();
    boxes.answers.push_back(IDNO);
    CFileDialog::SetNextFileName({});
    Run(ID_FILE_OPEN);
    EXPECT_EQ(frame->GetNoteBook(), book);
    EXPECT_TRUE(book->IsModified());
    EXPECT_EQ(book->GetNoteAtIndex(0)->GetTitle(), "a");
}

TEST_F(BookCommandsTest, OpenShowsTheNotebookTitleAndStatus)
{
    const std::string path = Saved("Work.old.pelm", {{"one", "1"}, {"two", "2"}});
    CFileDialog::SetNextFileName(QString::fromStdString(path));
    Run(ID_FILE_OPEN);
    ASSERT_TRUE(frame->IsBookOpen());
    EXPECT_EQ(frame->windowTitle(), "Pelmora - Work.old");
    EXPECT_EQ(frame->GetNoteBook()->GetCount(), 2u);
    EXPECT_EQ(ItemText(1), "two");
    EXPECT_FALSE(frame->GetActiveNote());
    EXPECT_EQ(Status(), "Ready");
    EXPECT_FALSE(frame->GetNoteBook()->IsModified());
}

TEST_F(BookCommandsTest, StatusLineDuringAndAfterReadsAndWrites)
{
    WatchStatus();
    frame->OpenBook(dir.File("missing.pelm"));
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0], "ERROR: Could not read specified file.");
    EXPECT_EQ(statusAtBox[0], "Reading NoteBook...");
    EXPECT_EQ(Status(), "Ready");
    EXPECT_FALSE(frame->IsBookOpen());
    EXPECT_EQ(frame->windowTitle(), "Pelmora");

    // A save that fails: into a folder that does not exist.
    OpenNotes({{"a", ""}});
    book->SetModified();
    CFileDialog::SetNextFileName(QString::fromStdString(dir.File("no/such/folder/x.pelm")));
    EXPECT_FALSE(frame->SaveBook());
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[1], "ERROR: Could not create/modify specified file.\nNo such file or directory.");
    EXPECT_EQ(statusAtBox[1], "Saving NoteBook...");
    EXPECT_EQ(Status(), "Ready");
    EXPECT_TRUE(book->IsModified());
    EXPECT_FALSE(book->GetPath().HasPath());

    // The close prompt's Yes with that failing save keeps the window.
    answers = {IDYES};
    CFileDialog::SetNextFileName(QString::fromStdString(dir.File("no/such/folder/x.pelm")));
    EXPECT_FALSE(frame->close());
    EXPECT_TRUE(frame->IsBookOpen());
    SetMessageBoxHandler({});
}

TEST_F(BookCommandsTest, SaveOfANewNotebookIsSaveAsAndSaveAsWaitsForAPath)
{
    OpenNotes({{"a", "x"}});
    EXPECT_FALSE(Enabled(ID_FILE_SAVE_AS));
    CFileDialog::SetNextFileName(QString::fromStdString(dir.File("first.pelm")));
    ASSERT_TRUE(Run(ID_FILE_SAVE));
    EXPECT_EQ(frame->windowTitle(), "Pelmora - first");
    EXPECT_TRUE(Enabled(ID_FILE_SAVE_AS));
    CFileDialog::SetNextFileName(QString::fromStdString(dir.File("second.pelm")));
    Run(ID_FILE_SAVE_AS);
    EXPECT_EQ(frame->windowTitle(), "Pelmora - second");
    EXPECT_EQ(book->GetPath().GetPath(), dir.File("second.pelm"));
}

TEST_F(BookCommandsTest, PasswordIsAskedAndAWrongOrCancelledOneLeavesNoNotebook)
{
    const std::string path = Saved("locked.pelm", {{"secret", "text"}}, "s3cret");
    CPasswordDlg::SetNextAnswer(IDOK, "s3cret");
    frame->OpenBook(path);
    ASSERT_TRUE(frame->IsBookOpen());
    EXPECT_EQ(frame->GetNoteBook()->GetPassword(), "s3cret");
    frame->CloseBook();

    for (int answer : {IDOK, IDCANCEL}) {
        CPasswordDlg::SetNextAnswer(answer, "wrong!");
        frame->OpenBook(path);
        EXPECT_FALSE(frame->IsBookOpen());
        ASSERT_FALSE(boxes.boxes.empty());
        EXPECT_EQ(boxes.boxes.back().text, "ERROR: Could not read file.");
    }
}

TEST_F(BookCommandsTest, SetPasswordIsStoredOnlyByTheNextSave)
{
    const std::string path = Saved("plain.pelm", {{"n", ""}});
    frame->OpenBook(path);
    CPasswordDlg::SetNextAnswer(IDOK, "newpass");
    ASSERT_TRUE(Run(ID_SET_PASSWORD));
    EXPECT_EQ(frame->GetNoteBook()->GetPassword(), "newpass");
    EXPECT_FALSE(frame->GetNoteBook()->IsModified());
    EXPECT_EQ(frame->windowTitle(), "Pelmora - plain");
    EXPECT_TRUE(frame->close()) << "no prompt: nothing counts as changed";
    EXPECT_TRUE(boxes.boxes.empty());
    frame->show();
    frame->OpenBook(path);
    EXPECT_TRUE(frame->IsBookOpen()) << "the password was never stored";

    CPasswordDlg::SetNextAnswer(IDOK, "newpass");
    Run(ID_SET_PASSWORD);
    Run(ID_FILE_SAVE);
    frame->CloseBook();
    CPasswordDlg::SetNextAnswer(IDCANCEL);
    frame->OpenBook(path);
    EXPECT_FALSE(frame->IsBookOpen()) << "now it is asked for";
}

TEST_F(BookCommandsTest, ViewSettingsTravelWithTheNotebook)
{
    OpenNotes({{"first", "one"}, {"second", "two"}});
    Activate(0);
    frame->m_bBold = false;
    Run(ID_FONT_COURIER);
    Run(ID_BOLD);
    if (!frame->m_bWordWrap)
        Run(ID_WORD_WRAP);
    frame->GetNotePanel()->SetPaneShares(9000, 23768);
    book->SetPassword("pass1234");
    WindowPlacement placement{};
    placement.length = 44;
    placement.showCmd = SW_SHOWNORMAL;
    placement.left = 20;
    placement.top = 30;
    placement.right = 20 + 700;
    placement.bottom = 30 + 560;
    frame->SetWindowPlacement(placement);
    CFileDialog::SetNextFileName(QString::fromStdString(dir.File("view.pelm")));
    ASSERT_TRUE(Run(ID_FILE_SAVE));
    std::int32_t shares[2];
    frame->GetNotePanel()->GetPaneShares(shares[0], shares[1]);

    // Another frame, with other settings, opens it and takes them over.
    frame.reset();
    frame = std::make_unique<CMainFrame>();
    ASSERT_TRUE(frame->Create());
    frame->show();
    frame->m_bWordWrap = false;
    CPasswordDlg::SetNextAnswer(IDOK, "pass1234");
    frame->OpenBook(dir.File("view.pelm"));
    ASSERT_TRUE(frame->IsBookOpen());
    EXPECT_EQ(frame->GetNoteBook()->GetCount(), 2u);
    EXPECT_EQ(frame->GetNoteBook()->GetNoteAtIndex(1)->GetText(), "two");
    EXPECT_TRUE(frame->m_bBold);
    EXPECT_TRUE(frame->m_bWordWrap);
    EXPECT_EQ(frame->m_textFont.family(), "Courier New");
    std::int32_t back[2] = {0, 0};
    frame->GetNotePanel()->GetPaneShares(back[0], back[1]);
    EXPECT_EQ(back[0], shares[0]);
    EXPECT_EQ(back[1], shares[1]);
    EXPECT_EQ(frame->width(), 700);
    EXPECT_EQ(frame->height(), 560);
}

TEST_F(BookCommandsTest, EncodingSubmenuAndStatusPaneShowTheCodePageAndChangeItForTheNextSave)
{
    EXPECT_FALSE(CodePagePaneShown());
    EXPECT_FALSE(Enabled(ID_ENCODING_UTF8));
    Run(ID_FILE_NEW);
    EXPECT_EQ(CodePagePane(), "UTF-8") << "a new notebook is UTF-8";
    EXPECT_TRUE(CodePagePaneShown());
    EXPECT_TRUE(Action(ID_ENCODING_UTF8)->isChecked());
    EXPECT_FALSE(Action(ID_ENCODING_WINDOWS1252)->isChecked());

    const std::string path = WindowsNoteBook("windows.pelm", {{"caf\xE9", "na\xEFve"}});
    const std::string original = NoteBookBytes::Load(path);
    frame->OpenBook(path);
    ASSERT_TRUE(frame->IsBookOpen());
    EXPECT_EQ(CodePagePane(), "Windows-1252");
    EXPECT_TRUE(Action(ID_ENCODING_WINDOWS1252)->isChecked());
    EXPECT_FALSE(Action(ID_ENCODING_UTF8)->isChecked());

    Run(ID_ENCODING_WINDOWS1252);
    EXPECT_FALSE(frame->GetNoteBook()->IsModified()) << "the code page it has already";
    Run(ID_ENCODING_UTF8);
    EXPECT_TRUE(frame->GetNoteBook()->IsModified());
    EXPECT_EQ(CodePagePane(), "UTF-8");
    EXPECT_TRUE(Action(ID_ENCODING_UTF8)->isChecked());
    EXPECT_EQ(NoteBookBytes::Load(path), original) << "nothing is written before the save";
    ASSERT_TRUE(Run(ID_FILE_SAVE));
    NoteBookBytes utf8;
    utf8.Note(1, "caf\xC3\xA9", "na\xC3\xAFve");
    EXPECT_TRUE(EndsWith(path, utf8));
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(BookCommandsTest, SavingACharacterWindows1252LacksAsksFirstAndNoWritesNothing)
{
    const std::string path = WindowsNoteBook("windows.pelm", {{"caf\xE9", "x"}, {"Greek", ""}});
    const std::string original = NoteBookBytes::Load(path);
    frame->OpenBook(path);
    ASSERT_TRUE(frame->IsBookOpen());
    book = frame->GetNoteBook();
    Activate(1);
    QKeyEvent omega(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString::fromUtf8("\xCE\xA9"));
    QApplication::sendEvent(Text(), &omega);

    boxes.answers = {IDNO};
    Run(ID_FILE_SAVE);
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].text.rfind("The note \"Greek\" holds characters that Western (Windows-1252) "
                                        "cannot store.",
                                        0),
              0u)
        << boxes.boxes[0].text;
    EXPECT_EQ(boxes.boxes[0].style, unsigned(MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2));
    EXPECT_EQ(NoteBookBytes::Load(path), original);
    EXPECT_TRUE(book->IsModified());
    EXPECT_EQ(CodePagePane(), "Windows-1252");

    // Going back from the question keeps the window open as a failed save does.
    boxes.answers = {IDYES, IDNO};
    EXPECT_FALSE(frame->close());
    EXPECT_EQ(NoteBookBytes::Load(path), original);

    boxes.answers = {IDYES};
    Run(ID_FILE_SAVE);
    EXPECT_FALSE(book->IsModified());
    EXPECT_EQ(CodePagePane(), "UTF-8");
    NoteBookBytes utf8;
    utf8.Note(1, "caf\xC3\xA9", "x").Note(2, "Greek", "\xCE\xA9");
    EXPECT_TRUE(EndsWith(path, utf8));
    EXPECT_EQ(boxes.boxes.size(), 4u);
}

TEST_F(BookCommandsTest, AFifoIsRefusedAtOnce)
{
    ASSERT_EQ(::mkfifo(dir.File("fifo.pelm").c_str(), 0600), 0);
    frame->OpenBook(dir.File("fifo.pelm"));
    EXPECT_FALSE(frame->IsBookOpen());
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].text, "ERROR: Could not read specified file.");
}
