#include "app/CShortcutsDlg.h"
#include "platform/qt/CSliceProgress.h"
#include "support/FirstBar.h"
#include "support/NoteBookBytes.h"
#include "support/PaneFixture.h"
#include "support/ScopedCount.h"
#include "support/TempDir.h"

#include <QFileDialog>
#include <QLineEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QStatusBar>
#include <QTableWidget>
#include <QTimer>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>

namespace fs = std::filesystem;

namespace {

// The text of a PDF as pdftotext reads it.
std::string PdfText(const std::string& pdf)
{
    std::string text;
    const std::string command = "pdftotext -layout '" + pdf + "' - 2>/dev/null";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    char buffer[4096];
    while (pipe && std::fgets(buffer, sizeof buffer, pipe.get()))
        text += buffer;
    return text;
}

std::set<std::pair<std::string, std::string>> Folder(const fs::path& folder)
{
    std::set<std::pair<std::string, std::string>> files;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder))
        files.emplace(entry.path().filename().string(), NoteBookBytes::Load(entry.path().string()));
    return files;
}

} // namespace

class ExchangeTest : public PaneTest
{
protected:
    bool Run(int id) { return frame->GetRouter().Run(id); }
    // Runs the command with Cancel of its progress bar pressed the first time the window's events
    // run; false when they never ran before it ended.
    bool RunCancelled(int id)
    {
        const FirstBar bar(*frame, FirstBar::Cancel);
        return Run(id) && !bar.Label().isEmpty();
    }
    std::string Status() { return frame->statusBar()->currentMessage().toStdString(); }
    std::string Many(int lines, const std::string& word)
    {
        std::string text;
        for (int i = 1; i <= lines; ++i)
            text += word + " line " + std::to_string(i) + "\n";
        return text;
    }
    TempDir dir;
};

TEST_F(ExchangeTest, PdfAndPrintCarryTitleTextAndPageNumbers)
{
    OpenNotes({{"Groceries", Many(120, "apples")}, {"Other", "not printed"}});
    EXPECT_FALSE(Enabled(ID_PRINT)) << "no note open or selected";
    Activate(0);
    CaretToStart();
    QTest::keyClicks(Text(), "typed ");
    const std::string pdf = dir.File("groceries.pdf");
    CFileDialog::SetNextFileName(QString::fromStdString(pdf));
    ASSERT_TRUE(Run(ID_EXPORT_PDF));
    const std::string text = PdfText(pdf);
    EXPECT_NE(text.find("Groceries"), std::string::npos);
    EXPECT_NE(text.find("typed apples line 1"), std::string::npos) << "the unsaved typing is printed";
    EXPECT_NE(text.find("apples line 120"), std::string::npos);
    EXPECT_NE(text.find("Page 1"), std::string::npos);
    EXPECT_NE(text.find("Page 2"), std::string::npos) << "120 lines take more than a page";
    EXPECT_EQ(text.find("not printed"), std::string::npos);

    const std::string printed = dir.File("printed.pdf");
    CPrintDlg::QueueCancel();
    ASSERT_TRUE(Run(ID_PRINT));
    EXPECT_FALSE(fs::exists(printed));
    CPrintDlg::QueuePrint(QString::fromStdString(printed));
    QTest::keyClick(Text(), Qt::Key_P, Qt::ControlModifier);
    EXPECT_NE(PdfText(printed).find("typed apples line 1"), std::string::npos);
}

TEST_F(ExchangeTest, ALargeNotePrintsInSlicesAndCancelLeavesNoFile)
{
    std::string big;
    while (big.size() < 4'000'000)
        big += "a long note that takes a while to lay out on paper, line after line\n";
    OpenNotes({{"Big", big}});
    Activate(0);
    int ticks = 0;
    QTimer ticker;
    // The window's events go on while it prints; at the fourth the user presses Cancel.
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        if (++ticks == 4)
            if (auto* progress = frame->findChild<QProgressDialog*>())
                if (auto* cancel = progress->findChild<QPushButton*>())
                    cancel->click();
    });
    ticker.start(10);
    const std::string pdf = dir.File("big.pdf");
    CFileDialog::SetNextFileName(QString::fromStdString(pdf));
    ASSERT_TRUE(Run(ID_EXPORT_PDF));
    EXPECT_GE(ticks, 4);
    EXPECT_FALSE(fs::exists(pdf)) << "a cancelled PDF is removed";
    EXPECT_EQ(frame->statusBar()->currentMessage(), "Printing cancelled.");
}

TEST_F(ExchangeTest, ExportWritesWhatTheToolWritesOrOneMarkdownFile)
{
    OpenNotes({{"First: a/b", "one\n"}, {"Second", "two"}, {"First: a/b", "three"}});
    const std::string saved = dir.File("book.pelm");
    ASSERT_TRUE(book->WriteFile(saved));
    const fs::path byTool = dir.Path() / "tool";
    ASSERT_EQ(std::system(("'" PELMORA_TOOL "' export '" + saved + "' '" + byTool.string() + "'").c_str()),
              0);

    const fs::path byWindow = dir.Path() / "window";
    CFileDialog::SetNextFileName(QString::fromStdString(byWindow.string()));
    ASSERT_TRUE(Run(ID_EXPORT));
    EXPECT_EQ(Folder(byWindow), Folder(byTool));
    EXPECT_EQ(Folder(byWindow).size(), 3u);

    const std::string markdown = dir.File("book.md");
    CFileDialog::SetNextFileName(QString::fromStdString(markdown));
    ASSERT_TRUE(Run(ID_EXPORT));
    EXPECT_EQ(NoteBookBytes::Load(markdown),
              "# First: a/b\n\none\n\n# Second\n\ntwo\n\n# First: a/b\n\nthree\n");

    CFileDialog::SetNextFileName(QString::fromStdString(dir.File("no/such/folder/x.md")));
    ASSERT_TRUE(Run(ID_EXPORT));
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].text,
              "ERROR: cannot write " + dir.File("no/such/folder/x.md") + ": No such file or directory.");
}

// Typed into the dialog, an existing folder, even an empty one, is the answer, as for the tool.
TEST_F(ExchangeTest, ExportGoesIntoAnExistingFolderTypedInTheDialog)
{
    OpenNotes({{"First", "one"}, {"Second", "two"}});
    const fs::path folder = dir.Path() / "empty";
    fs::create_directory(folder);
    CFileDialog::ClearQueuedAnswers();
    bool typed = false;
    bool stayedOpen = false;
    QTimer typist;
    QObject::connect(&typist, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        auto* name = dialog ? dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")) : nullptr;
        if (!name || typed)
            return;
        typed = true;
        name->setText(QString::fromStdString(folder.string()));
        QTest::keyClick(name, Qt::Key_Return);
        stayedOpen = dialog->isVisible();
        if (stayedOpen)
            dialog->reject();
    });
    typist.start(10);
    ASSERT_TRUE(Run(ID_EXPORT));
    EXPECT_TRUE(typed);
    EXPECT_FALSE(stayedOpen) << "the dialog walked into the folder";
    EXPECT_EQ(Folder(folder).size(), 2u);
    EXPECT_TRUE(boxes.boxes.empty());
}

// The README's table of keys and the man page's KEYS are the window's keys, every one and no other.
TEST_F(ExchangeTest, ReadmeAndManPageListTheWindowsKeys)
{
    const std::string readme = NoteBookBytes::Load(PELMORA_SOURCE "/README.md");
    const std::string man = NoteBookBytes::Load(PELMORA_SOURCE "/docs/pelmora.1");
    const std::string manKeys =
        man.substr(man.find(".SH KEYS"), man.find(".SH FILES") - man.find(".SH KEYS"));
    std::size_t keys = 0;
    for (const int id : frame->GetRouter().Ids()) {
        const std::string key = frame->GetRouter().Key(id).toString(QKeySequence::NativeText).toStdString();
        if (key.empty())
            continue;
        ++keys;
        QString name = frame->GetRouter().Action(id)->text().remove('&');
        name.remove(QStringLiteral("..."));
        const std::string command = name.toStdString();
        const std::size_t row = readme.find("| `" + key + "` | ");
        ASSERT_NE(row, std::string::npos) << key;
        const std::string line = readme.substr(row, readme.find('\n', row) - row);
        EXPECT_EQ(line.substr(line.size() - command.size() - 2), command + " |") << line;
        std::string manKey = key;
        if (manKey.back() == '-')
            manKey.insert(manKey.size() - 1, "\\");
        EXPECT_NE(manKeys.find(".B " + manKey + "\n" + command + "\n"), std::string::npos) << key;
    }
    auto count = [](const std::string& text, const std::string& what) {
        std::size_t found = 0;
        for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
            ++found;
        return found;
    };
    const std::size_t table = readme.find("## Keys");
    EXPECT_EQ(count(readme.substr(table, readme.find("\n## ", table) - table), "\n| `"), keys)
        << "the README lists no key the window lacks";
    EXPECT_EQ(count(manKeys, "\n.B "), keys) << "nor does the man page";
}

TEST_F(ExchangeTest, ImportAddsFilesAtTheEndOrNothingWithTheToolsMessage)
{
    OpenNotes({{"kept", "x"}});
    std::ofstream(dir.File("plain.txt")) << "some text";
    std::ofstream(dir.File("Meeting notes.md")) << "# Agenda\n\n- one";
    std::ofstream(dir.File("latin.txt"), std::ios::binary) << "caf\xE9";
    const std::string missing = dir.File("missing.txt");
    CFileDialog::SetNextFileName(QString::fromStdString(dir.File("plain.txt") + "\n" + missing));
    ASSERT_TRUE(Run(ID_IMPORT_FILES));
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].text, "ERROR: cannot read " + missing);
    EXPECT_EQ(book->GetCount(), 1u) << "a bad path adds nothing";

    book->SetModifiedFlag(false);
    CFileDialog::SetNextFileName(QString::fromStdString(
        dir.File("plain.txt") + "\n" + dir.File("Meeting notes.md") + "\n" + dir.File("latin.txt")));
    ASSERT_TRUE(Run(ID_IMPORT_FILES));
    ASSERT_EQ(book->GetCount(), 4u);
    EXPECT_EQ(book->GetNoteAtIndex(1)->GetTitle(), "plain");
    EXPECT_EQ(book->GetNoteAtIndex(2)->GetTitle(), "Meeting notes");
    EXPECT_EQ(book->GetNoteAtIndex(2)->GetText(), "# Agenda\n\n- one");
    EXPECT_EQ(book->GetNoteAtIndex(3)->GetText(), "caf\xC3\xA9");
    EXPECT_EQ(ItemText(3), "latin");
    EXPECT_TRUE(book->IsModified());
    EXPECT_NE(boxes.boxes.back().text.find("latin.txt: read as windows-1252"), std::string::npos)
        << "a guess is named";

    // "привет" in KOI8-R, read in the encoding chosen in the dialog; one it is not in adds nothing.
    std::ofstream(dir.File("hello.txt"), std::ios::binary) << "\xD0\xD2\xC9\xD7\xC5\xD4";
    boxes.boxes.clear();
    CFileDialog::SetNextFileName(QString::fromStdString(dir.File("hello.txt")));
    CFileDialog::SetNextChoice("KOI8-R");
    ASSERT_TRUE(Run(ID_IMPORT_FILES));
    ASSERT_EQ(book->GetCount(), 5u);
    EXPECT_EQ(book->GetNoteAtIndex(4)->GetText(), "\xD0\xBF\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82");
    EXPECT_TRUE(boxes.boxes.empty()) << "the user's choice needs no notice";
    CFileDialog::SetNextFileName(QString::fromStdString(dir.File("hello.txt")));
    CFileDialog::SetNextChoice("UTF-8");
    ASSERT_TRUE(Run(ID_IMPORT_FILES));
    EXPECT_EQ(book->GetCount(), 5u);
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].text,
              "ERROR: " + dir.File("hello.txt") + ": is not text in UTF-8; not imported");
    EXPECT_FALSE(CFileDialog::HasQueuedAnswers());
}

TEST_F(ExchangeTest, KeyboardShortcutsListEveryCommandWithItsKeys)
{
    ASSERT_TRUE(Run(ID_KEYBOARD_SHORTCUTS));
    auto* dialog = frame->findChild<CShortcutsDlg*>();
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(dialog->isVisible());
    QTableWidget* table = dialog->GetTable();
    std::set<std::string> rows;
    int textBoxRows = 0;
    for (int row = 0; row < table->rowCount(); ++row) {
        rows.insert((table->item(row, 0)->text() + "|" + table->item(row, 1)->text() + "|" +
                     table->item(row, 2)->text())
                        .toStdString());
        textBoxRows += table->item(row, 0)->text() == "Text box";
    }
    for (const char* row :
         {"Book|Save|Ctrl+S", "Book|Print...|Ctrl+P", "Note|Replace...|Ctrl+H",
          "Note|Undo Changes|Ctrl+Alt+Z", "Note|Find All|Ctrl+Shift+F", "Note|Find Next|F3", "Format|Bold|",
          "Help|Keyboard Shortcuts|", "Note|Go to Note...|Ctrl+G", "Note|Move Up|Alt+Shift+Up",
          "Note|Move Down|Alt+Shift+Down", "Format|Zoom In|Ctrl++", "Format|Normal Size|Ctrl+0",
          "Book|Reopen Last NoteBook at Start|",
          // Submenus: their commands by the menus' access keys, the others in one row.
          "Book > Encoding|Unicode (UTF-8)|Alt+B, C, U", "Book > Encoding|Western (Windows-1252)|Alt+B, C, W",
          "Book|Recent NoteBooks|Alt+B, R, 1 to 8", "Format|Spelling Language|Alt+F, G",
          "Text box|Select All|Ctrl+A", "Text box|Next Word|Ctrl+Right"})
        EXPECT_EQ(rows.count(row), 1u) << row;
    EXPECT_EQ(rows.count("Text box|Undo|" +
                         QKeySequence::listToString(QKeySequence::keyBindings(QKeySequence::Undo),
                                                    QKeySequence::NativeText)
                             .toStdString()),
              1u);
    EXPECT_EQ(textBoxRows, 11);
    EXPECT_EQ(table->rowCount() - textBoxRows, frame->GetRouter().Ids().size() + 2)
        << "every command once, and the rows of Recent NoteBooks and Spelling Language";

    // Shown again, the list is made again, not added to.
    const int count = table->rowCount();
    dialog->close();
    ASSERT_TRUE(Run(ID_KEYBOARD_SHORTCUTS));
    EXPECT_EQ(table->rowCount(), count);
}

// One note a slice, Cancel at the first: the file of the note done stays whole and is said to be
// written, a Markdown file is left as it was, and an import adds nothing.
TEST_F(ExchangeTest, ExportAndImportGoInSlicesAndCancelSaysWhatWasWritten)
{
    const ScopedCount<CSliceProgress::SetPiecesPerSlice> slices(1);
    OpenNotes({{"one", "1"}, {"two", "2"}, {"three", "3"}, {"four", "4"}});
    const fs::path folder = dir.Path() / "folder";
    CFileDialog::SetNextFileName(QString::fromStdString(folder.string()));
    ASSERT_TRUE(RunCancelled(ID_EXPORT));
    EXPECT_EQ(Folder(folder), (std::set<std::pair<std::string, std::string>>{{"1 one.txt", "1"}}));
    EXPECT_EQ(Status(), "Export cancelled: the files of the first 1 of 4 notes were written.");

    const fs::path markdown = dir.Path() / "md" / "book.md";
    fs::create_directory(markdown.parent_path());
    std::ofstream(markdown) << "kept";
    CFileDialog::SetNextFileName(QString::fromStdString(markdown.string()));
    ASSERT_TRUE(RunCancelled(ID_EXPORT));
    EXPECT_EQ(Folder(markdown.parent_path()),
              (std::set<std::pair<std::string, std::string>>{{"book.md", "kept"}}))
        << "no temporary file is left";
    EXPECT_EQ(Status(), "Export cancelled; nothing was written.");
    EXPECT_TRUE(boxes.boxes.empty());

    book->SetModifiedFlag(false);
    std::ofstream(dir.File("a.txt")) << "a";
    std::ofstream(dir.File("b.txt")) << "b";
    CFileDialog::SetNextFileName(QString::fromStdString(dir.File("a.txt") + "\n" + dir.File("b.txt")));
    ASSERT_TRUE(RunCancelled(ID_IMPORT_FILES));
    EXPECT_EQ(book->GetCount(), 4u);
    EXPECT_FALSE(book->IsModified());
    EXPECT_EQ(Status(), "Import cancelled; no note was added.");
}
