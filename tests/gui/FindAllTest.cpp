#include "platform/qt/CSliceProgress.h"
#include "support/PaneFixture.h"
#include "support/ScopedCount.h"
#include "support/TempDir.h"
#include "views/CFindAllDock.h"
#include "views/CFindAllModel.h"
#include "views/CFindAllPane.h"
#include "views/CSearchBar.h"

#include <QCheckBox>
#include <QDockWidget>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <QTreeView>

class FindAllTest : public PaneTest
{
protected:
    CFindAllPane* Pane() { return frame->m_wndFindAllDock->GetPane(); }
    QDockWidget* Dock() { return frame->m_wndFindAllDock; }
    QTreeView* View() { return Pane()->GetView(); }
    CFindAllModel* Model() { return Pane()->GetModel(); }
    QLineEdit* Box() { return frame->m_wndSearchBar->Edit(); }
    std::string Message() { return Pane()->GetMessage()->text().toStdString(); }
    std::string Status() { return frame->statusBar()->currentMessage().toStdString(); }

    // Lets the window run until the condition holds; the limit only keeps a broken build from
    // hanging.
    bool WaitUntil(const std::function<bool()>& condition)
    {
        QElapsedTimer timer;
        timer.start();
        // Only a hang runs this long: the sanitizer build on a loaded machine is slow, never wrong.
        while (!condition() && timer.elapsed() < 60000)
            QTest::qWait(5);
        return condition();
    }

    // Find All for the text, as Ctrl+Shift+F from the note list, until the search is through.
    void FindAll(const QString& text)
    {
        Box()->setText(text);
        QWidget* from = frame->GetNotePanel() ? static_cast<QWidget*>(List()) : frame.get();
        from->setFocus();
        QTest::keyClick(from, Qt::Key_F, Qt::ControlModifier | Qt::ShiftModifier);
        ASSERT_TRUE(WaitUntil([&] { return !Pane()->IsSearching(); }));
    }

    std::string Cell(int row, int column, const QModelIndex& parent = {})
    {
        return Model()->index(row, column, parent).data().toString().toStdString();
    }
    // The line column with its match in brackets.
    std::string Marked(int row, const QModelIndex& parent = {})
    {
        const QModelIndex index = Model()->index(row, CFindAllModel::LineColumn, parent);
        const QPoint match = index.data(CFindAllModel::MatchRole).toPoint();
        return index.data()
            .toString()
            .insert(match.x() + match.y(), ']')
            .insert(match.x(), '[')
            .toStdString();
    }
    std::string Selected() { return Text()->SelectedText().toStdString(); }
    void Press(Qt::Key key) { QTest::keyClick(View(), key); }
};

TEST_F(FindAllTest, ListsMatchingNotesOfEveryScriptAndJumpsToTheRightCharacters)
{
    OpenNotes({{"Café list", "first line\nVoilà: CAFÉ and café"},
               {"Nothing", "coffee"},
               {"Tokyo", "東京で café ☕ 😀 café"},
               {"Greek", "καλημέρα\nΚΑΦΈΣ και καφές"}});
    FindAll("café");
    EXPECT_TRUE(Dock()->isVisible());
    EXPECT_EQ(frame->dockWidgetArea(Dock()), Qt::BottomDockWidgetArea);
    ASSERT_EQ(Model()->rowCount(), 2);
    EXPECT_EQ(Cell(0, CFindAllModel::NoteColumn), "Café list");
    EXPECT_EQ(Cell(0, CFindAllModel::CountColumn), "3");
    EXPECT_EQ(Cell(0, CFindAllModel::PlaceColumn), "Title") << "a title match says so";
    EXPECT_EQ(Marked(0), "[Café] list");
    EXPECT_EQ(Cell(1, CFindAllModel::CountColumn), "2");
    EXPECT_EQ(Cell(1, CFindAllModel::PlaceColumn), "Line 1");
    EXPECT_EQ(Marked(1), "東京で [café] ☕ 😀 café");
    EXPECT_EQ(Status(), "5 occurrences in 2 notes.");
    EXPECT_EQ(Message(), Status());
    EXPECT_TRUE(boxes.boxes.empty());

    // The keys walk the results and Enter opens a note at its first occurrence.
    ASSERT_TRUE(View()->hasFocus());
    Press(Qt::Key_Return);
    ASSERT_NE(Active(), nullptr);
    EXPECT_EQ(Active()->GetSerial(), serials[0]);
    EXPECT_EQ(TitleBox()->selectedText().toStdString(), "Café");
    View()->setFocus();
    Press(Qt::Key_Down);
    Press(Qt::Key_Return);
    EXPECT_EQ(Active()->GetSerial(), serials[2]);
    EXPECT_EQ(Selected(), "café");
    EXPECT_EQ(Text()->SelectionStart(), 4);

    // An expanded row lists every occurrence; the one after the emoji counts its two halves.
    const QModelIndex tokyo = Model()->index(1, 0);
    View()->expand(tokyo);
    ASSERT_EQ(Model()->rowCount(tokyo), 2);
    EXPECT_EQ(Marked(1, tokyo), "東京で café ☕ 😀 [café]");
    const QRect second = View()->visualRect(Model()->index(1, CFindAllModel::LineColumn, tokyo));
    // Press, release, the double click and its release, as the window system delivers them.
    QTest::mouseClick(View()->viewport(), Qt::LeftButton, {}, second.center());
    QTest::mouseDClick(View()->viewport(), Qt::LeftButton, {}, second.center());
    QTest::mouseRelease(View()->viewport(), Qt::LeftButton, {}, second.center());
    EXPECT_EQ(Text()->SelectionStart(), 14);
    EXPECT_EQ(Selected(), "café");
    View()->collapse(tokyo);
    EXPECT_EQ(Model()->rowCount(tokyo), 0) << "a closed row keeps no occurrences";

    FindAll("ΚΑΦΈΣ");
    ASSERT_EQ(Model()->rowCount(), 1);
    EXPECT_EQ(Cell(0, CFindAllModel::CountColumn), "2");
    EXPECT_EQ(Marked(0), "[ΚΑΦΈΣ] και καφές");
    EXPECT_EQ(Cell(0, CFindAllModel::PlaceColumn), "Line 2");
    FindAll("😀");
    EXPECT_EQ(Status(), "1 occurrence in 1 note.");
}

TEST_F(FindAllTest, CheckBoxesFoldCaseMatchWholeWordsAndRegularExpressions)
{
    OpenNotes({{"Street", "Die Straße und die STRASSE, strasse"},
               {"Words", "cat concat cat_ (cat)"},
               {"Quotes", "quite a quake\nquiet"},
               {"Runaway", std::string(40, 'a') + "b"}});
    FindAll("STRASSE");
    ASSERT_EQ(Model()->rowCount(), 1);
    EXPECT_EQ(Cell(0, CFindAllModel::CountColumn), "3");
    EXPECT_EQ(Marked(0), "Die [Straße] und die STRASSE, strasse");
    Pane()->GetMatchCaseBox()->setChecked(true);
    ASSERT_TRUE(WaitUntil([&] { return !Pane()->IsSearching(); }));
    EXPECT_EQ(Cell(0, CFindAllModel::CountColumn), "1");
    Pane()->GetMatchCaseBox()->setChecked(false);

    Pane()->GetWholeWordsBox()->setChecked(true);
    FindAll("cat");
    ASSERT_EQ(Model()->rowCount(), 1);
    EXPECT_EQ(Cell(0, CFindAllModel::CountColumn), "2");
    Pane()->GetWholeWordsBox()->setChecked(false);

    Pane()->GetRegexBox()->setChecked(true);
    FindAll("\\bq[a-z]+e\\b");
    ASSERT_EQ(Model()->rowCount(), 1);
    EXPECT_EQ(Cell(0, CFindAllModel::CountColumn), "2");
    FindAll("qu)ake");
    EXPECT_EQ(Model()->rowCount(), 0);
    EXPECT_EQ(Message(), "Error in the regular expression at character 3: unmatched closing parenthesis");
    FindAll("qu(ake");
    EXPECT_EQ(Message(), "Error in the regular expression at its end: missing closing parenthesis");
    FindAll("(a+)+$");
    EXPECT_EQ(Message(), "The regular expression ran away on the note \"Runaway\" and hit the match limit; "
                         "the search stopped there.");
    EXPECT_EQ(Status(), Message());
    EXPECT_TRUE(boxes.boxes.empty()) << "the pane reports, no box interrupts";
}

TEST_F(FindAllTest, ResultsFollowTypingEditsRenamesAndDeletions)
{
    OpenNotes({{"one", "alpha beta"}, {"two", "beta gamma"}});
    FindAll("beta");
    ASSERT_EQ(Model()->rowCount(), 2);

    // A pause after the last key searches again.
    Box()->setFocus();
    Box()->selectAll();
    QTest::keyClicks(Box(), "gam");
    ASSERT_TRUE(WaitUntil([&] { return Model()->rowCount() == 1 && Cell(0, 0) == "two"; }));

    // Typing in the open note counts before it is stored.
    View()->setFocus();
    Press(Qt::Key_Return);
    ASSERT_EQ(Active()->GetSerial(), serials[1]);
    CaretToEnd();
    QTest::keyClicks(Text(), " gamut");
    EXPECT_EQ(Active()->GetText(), "beta gamma");
    ASSERT_TRUE(WaitUntil([&] { return Cell(0, CFindAllModel::CountColumn) == "2"; }));
    EXPECT_EQ(Status(), "2 occurrences in 1 note.");

    // A renamed title and a deleted note.
    Box()->setText("o");
    ASSERT_TRUE(WaitUntil([&] { return Model()->rowCount() == 2; }));
    List()->model()->setData(List()->model()->index(0, 0), "uno-o");
    ASSERT_TRUE(WaitUntil([&] { return Cell(0, CFindAllModel::CountColumn) == "2"; }));
    List()->SelectItem(0);
    ASSERT_TRUE(frame->GetRouter().Run(ID_DELETE_NOTE));
    ASSERT_TRUE(WaitUntil([&] { return Model()->rowCount() == 1 && Cell(0, 0) == "two"; }));
}

TEST_F(FindAllTest, PaneSaysWhatItCannotFindAndEscapeClosesItAtItsHeight)
{
    FindAll("x");
    EXPECT_TRUE(Dock()->isVisible());
    EXPECT_EQ(Message(), "Please open a book to search.");
    OpenNotes({{"n", "text"}});
    FindAll("zzz");
    EXPECT_EQ(Message(), "Nothing found.");
    EXPECT_EQ(Model()->rowCount(), 0);
    FindAll("   ");
    EXPECT_EQ(Message(), "Please enter text to search for.");
    EXPECT_TRUE(boxes.boxes.empty());

    frame->resizeDocks({Dock()}, {230}, Qt::Vertical);
    QApplication::processEvents();
    const int height = Dock()->height();
    EXPECT_EQ(height, 230);
    QTest::keyClick(View(), Qt::Key_Escape);
    EXPECT_FALSE(Dock()->isVisible());
    QTest::mouseClick(frame->m_wndSearchBar->FindAllButton(), Qt::LeftButton);
    EXPECT_TRUE(Dock()->isVisible());
    QApplication::processEvents();
    EXPECT_EQ(Dock()->height(), height);
}

TEST_F(FindAllTest, FindNextKeepsItsMeaningWhileThePaneIsOpen)
{
    OpenNotes({{"t", "x1 x2 x3"}});
    FindAll("x");
    Box()->setFocus();
    QTest::keyClick(Box(), Qt::Key_Return);
    QApplication::processEvents();
    ASSERT_NE(Text(), nullptr);
    EXPECT_EQ(Text()->SelectionStart(), 0);
    EXPECT_EQ(Status(), "3 occurrences found.");
    QTest::keyClick(Text(), Qt::Key_F3);
    EXPECT_EQ(Text()->SelectionStart(), 3);
    EXPECT_EQ(Model()->rowCount(), 1);
}

// The search matches on both cores in slices between the window's events. Closing the notebook or a
// new search in the middle stops it and drops what it had found; the window closing mid-search too.
TEST_F(FindAllTest, ClosingTheBookOrSearchingAgainMidSearchStopsIt)
{
    // Accented text takes the slow way through the folding, so one slice never gets through it.
    Notes notes;
    std::string text;
    for (int i = 0; i < 60; ++i)
        text += "café crème ";
    for (int i = 0; i < 6000; ++i)
        notes.push_back({"note " + std::to_string(i), text + (i % 3 ? "beta" : "gamma")});
    OpenNotes(notes);
    const TempDir dir;
    const std::string path = dir.File("notes.pelm");
    ASSERT_TRUE(book->WriteFile(path));
    const auto startFindAll = [&](const QString& pattern) {
        Box()->setText(pattern);
        QTest::keyClick(List(), Qt::Key_F, Qt::ControlModifier | Qt::ShiftModifier);
    };

    startFindAll("crème beta");
    ASSERT_TRUE(Pane()->IsSearching()) << "the notebook must outlast one slice";
    EXPECT_LT(Model()->rowCount(), 4000);
    frame->CloseBook();
    EXPECT_FALSE(Pane()->IsSearching());
    EXPECT_EQ(Model()->rowCount(), 0);
    QTest::qWait(50);
    EXPECT_EQ(Model()->rowCount(), 0);

    // Opened with the pane showing, which searches again: only once the notes are read, as they
    // are filled on a worker meanwhile.
    bool searchedWhileReading = false;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout,
                     [&] { searchedWhileReading |= CSliceProgress::IsRunning() && Pane()->IsSearching(); });
    watch.start(0);
    {
        const ScopedCount<CSliceProgress::SetPiecesPerSlice> slices(1);
        frame->OpenBook(path);
    }
    watch.stop();
    book = frame->GetNoteBook();
    ASSERT_EQ(book->GetCount(), notes.size());
    EXPECT_FALSE(searchedWhileReading);
    ASSERT_TRUE(WaitUntil([&] { return !Pane()->IsSearching() && Model()->rowCount() > 0; }));
    EXPECT_EQ(Status(), "4000 occurrences in 4000 notes.");
    startFindAll("crème gamma");
    ASSERT_TRUE(Pane()->IsSearching());
    Box()->setText("crème beta");
    ASSERT_TRUE(WaitUntil([&] { return !Pane()->IsSearching() && Model()->rowCount() > 0; }));
    EXPECT_EQ(Status(), "4000 occurrences in 4000 notes.");
    EXPECT_EQ(Cell(0, 0), "note 1");
    // The view gets the rows as it scrolls to their end; edits of rows it has not got yet change
    // only the count, and a row that goes makes room for the next.
    const int shown = Model()->rowCount();
    EXPECT_LT(shown, 4000);
    for (const std::size_t index : {5999u, 1u}) {
        book->GetNoteAtIndex(index)->SetText("gone");
        Pane()->RefreshNote(book->GetNoteAtIndex(index)->GetSerial());
    }
    EXPECT_EQ(Status(), "3998 occurrences in 3998 notes.");
    EXPECT_EQ(Model()->rowCount(), shown);
    EXPECT_EQ(Cell(0, 0), "note 2");
    ASSERT_TRUE(WaitUntil([&] {
        View()->scrollToBottom();
        return Model()->rowCount() == 3998;
    }));
    EXPECT_EQ(Cell(3997, 0), "note 5998");

    // Left running: the window goes with the test.
    startFindAll("café");
    EXPECT_TRUE(Pane()->IsSearching());
}
