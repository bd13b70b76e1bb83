#include "model/CNoteBook.h"
#include "support/PaneFixture.h"
#include "views/CNoteItemDelegate.h"

#include <QAbstractItemModelTester>
#include <QPaintEvent>
#include <QScrollBar>

#include <vector>

using NoteListTest = PaneTest;

TEST_F(NoteListTest, ListsTitlesInNotebookOrderWithTheirSerials)
{
    OpenNotes({{"Alpha", "a"}, {"Same", "first"}, {"Same", "second"}});
    ASSERT_EQ(List()->GetItemCount(), 3);
    EXPECT_EQ(ItemText(0), "Alpha");
    EXPECT_EQ(ItemText(2), "Same");
    for (int row = 0; row < 3; ++row)
        EXPECT_EQ(List()->GetItemSerial(row), serials[row]);
    EXPECT_EQ(List()->GetSelectionMark(), -1);
    EXPECT_FALSE(frame->GetActiveNote());

    // Two equal titles are told apart by their serial numbers.
    Activate(2);
    ASSERT_NE(Active(), nullptr);
    EXPECT_EQ(Active()->GetSerial(), serials[2]);
    EXPECT_EQ(Text()->toPlainText(), "second");
    EXPECT_TRUE(ListPane()->SelectNote(serials[1]));
    EXPECT_EQ(List()->GetSelectionMark(), 1);
    EXPECT_FALSE(ListPane()->SelectNote(9999));
}

TEST_F(NoteListTest, EmptyNotebookHasNoItemsNoMenuAndNoMoves)
{
    OpenNotes({});
    EXPECT_EQ(List()->GetItemCount(), 0);
    EXPECT_FALSE(ChooseFromContextMenu(List()->viewport(), QPoint(10, 10), "&Rename"));
    EXPECT_FALSE(Enabled(ID_MOVE_UP));
    EXPECT_FALSE(Enabled(ID_MOVE_DOWN));
    frame->GetNotePanel()->MoveSelected(true);
    frame->GetNotePanel()->MoveSelected(false);
    EXPECT_EQ(List()->GetItemCount(), 0);
}

TEST_F(NoteListTest, ClickAndListKeysSelectOnlyDoubleClickAndEnterOpen)
{
    OpenNotes({{"One", "1"}, {"Two", "2"}, {"Three", "3"}});
    Click(0);
    EXPECT_EQ(List()->GetSelectionMark(), 0);
    EXPECT_FALSE(frame->GetActiveNote());
    EXPECT_TRUE(Enabled(ID_MOVE_UP)) << "the toolbar follows the selection";

    QTest::keyClick(List(), Qt::Key_Down);
    QTest::keyClick(List(), Qt::Key_End);
    EXPECT_EQ(List()->GetSelectionMark(), 2);
    QTest::keyClick(List(), Qt::Key_Home);
    EXPECT_EQ(List()->GetSelectionMark(), 0);
    EXPECT_FALSE(frame->GetActiveNote());

    QTest::keyClick(List(), Qt::Key_Down);
    QTest::keyClick(List(), Qt::Key_Return);
    ASSERT_NE(Active(), nullptr);
    EXPECT_EQ(Active()->GetSerial(), serials[1]);
    EXPECT_EQ(TitleBox()->text(), "Two");

    Activate(2);
    ASSERT_NE(Active(), nullptr);
    EXPECT_EQ(Active()->GetSerial(), serials[2]);
    EXPECT_EQ(List()->GetSelectionMark(), 2);
    EXPECT_EQ(LabelEditor(), nullptr) << "a double click starts no rename";
    EXPECT_FALSE(book->IsModified());
}

TEST_F(NoteListTest, ReactivatingTheOpenNoteStoresTheTypingAndRebuildsTheEditor)
{
    OpenNotes({{"One", "start"}});
    Activate(0);
    ASSERT_NE(Text(), nullptr);
    const QPointer<CRichEditCtrlEx> before = Text();
    CaretToEnd();
    QTest::keyClicks(Text(), " typed");
    EXPECT_EQ(book->FindNote(serials[0])->GetText(), "start") << "typing stays in the editor";

    Activate(0);
    EXPECT_EQ(book->FindNote(serials[0])->GetText(), "start typed");
    ASSERT_NE(Text(), nullptr);
    EXPECT_EQ(Text()->toPlainText(), "start typed");
    EXPECT_TRUE(before.isNull()) << "the editor's controls are made afresh";
}

TEST_F(NoteListTest, RenameInPlaceTakesTheTextAsTypedAndRefusesEmpty)
{
    OpenNotes({{"One", "1"}, {"Two", "2"}});
    Click(1);
    QTest::keyClick(List(), Qt::Key_F2);
    QLineEdit* label = LabelEditor();
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->text(), "Two");

    // Esc cancels: the label and the notebook stay as they were.
    QTest::keyClicks(label, "xx");
    QTest::keyClick(label, Qt::Key_Escape);
    QApplication::processEvents();
    EXPECT_EQ(ItemText(1), "Two");
    EXPECT_EQ(book->FindNote(serials[1])->GetTitle(), "Two");
    EXPECT_FALSE(book->IsModified());

    // An empty label is refused.
    ListPane()->RenameSelected();
    label = LabelEditor();
    ASSERT_NE(label, nullptr);
    label->clear();
    QTest::keyClick(label, Qt::Key_Return);
    QApplication::processEvents();
    EXPECT_EQ(ItemText(1), "Two");
    EXPECT_FALSE(book->IsModified());

    // Unchanged text still counts as a rename.
    ListPane()->RenameSelected();
    ASSERT_NE(LabelEditor(), nullptr);
    QTest::keyClick(LabelEditor(), Qt::Key_Return);
    QApplication::processEvents();
    EXPECT_TRUE(book->IsModified());
    EXPECT_FALSE(frame->GetActiveNote()) << "Enter on a label does not open the note";

    book->SetModifiedFlag(false);
    ASSERT_TRUE(frame->GetRouter().Run(ID_RENAME_NOTE));
    ASSERT_NE(LabelEditor(), nullptr);
    LabelEditor()->setText("  Spaced  ");
    QTest::keyClick(LabelEditor(), Qt::Key_Return);
    QApplication::processEvents();
    EXPECT_EQ(book->FindNote(serials[1])->GetTitle(), "  Spaced  ");
    EXPECT_EQ(ItemText(1), "  Spaced  ");
    EXPECT_TRUE(book->IsModified());
}

TEST_F(NoteListTest, RenamingTheOpenNoteUpdatesItsTitleBoxAtOnce)
{
    OpenNotes({{"One", "1"}, {"Two", "2"}});
    Activate(0);
    ASSERT_EQ(TitleBox()->text(), "One");
    // A click on the selected item edits its label, once the double-click time has passed.
    Click(0);
    QTRY_VERIFY(LabelEditor() != nullptr);
    LabelEditor()->setText("Renamed");
    QTest::keyClick(LabelEditor(), Qt::Key_Return);
    QApplication::processEvents();
    EXPECT_EQ(TitleBox()->text(), "Renamed");
    EXPECT_EQ(Active()->GetTitle(), "Renamed");

    // Renaming another note leaves the title box alone.
    Click(1);
    ListPane()->RenameSelected();
    ASSERT_NE(LabelEditor(), nullptr);
    LabelEditor()->setText("Other");
    QTest::keyClick(LabelEditor(), Qt::Key_Return);
    QApplication::processEvents();
    EXPECT_EQ(TitleBox()->text(), "Renamed");
    EXPECT_EQ(book->FindNote(serials[1])->GetTitle(), "Other");
}

TEST_F(NoteListTest, ContextMenuRenamesAndDeletesTheSelectedNote)
{
    OpenNotes({{"One", "1"}, {"Two", "2"}, {"Three", "3"}});
    EXPECT_FALSE(ChooseFromContextMenu(List()->viewport(), RowCenter(0), "&Rename"))
        << "no menu without a selection";

    Click(1);
    ASSERT_TRUE(ChooseFromContextMenu(List()->viewport(), RowCenter(1), "&Rename"));
    ASSERT_NE(LabelEditor(), nullptr);
    QTest::keyClick(LabelEditor(), Qt::Key_Escape);
    QApplication::processEvents();

    Activate(1);
    ASSERT_TRUE(ChooseFromContextMenu(List()->viewport(), RowCenter(1), "&Delete"));
    EXPECT_EQ(book->FindNote(serials[1]), nullptr);
    EXPECT_EQ(List()->GetItemCount(), 2);
    EXPECT_EQ(ItemText(1), "Three");
    EXPECT_FALSE(frame->GetActiveNote());
    EXPECT_EQ(List()->GetSelectionMark(), -1);
    EXPECT_FALSE(Enabled(ID_MOVE_UP)) << "the refill clears the selection and the toolbar knows";
}

TEST_F(NoteListTest, MovesKeepTheMovedNoteSelectedAndStopAtTheEnds)
{
    OpenNotes({{"One", "1"}, {"Two", "2"}, {"Three", "3"}});
    Activate(1);
    ASSERT_TRUE(frame->GetRouter().Run(ID_MOVE_UP));
    EXPECT_EQ(ItemText(0), "Two");
    EXPECT_EQ(book->GetNoteAtIndex(0)->GetSerial(), serials[1]);
    EXPECT_EQ(List()->GetSelectionMark(), 0);
    EXPECT_FALSE(frame->GetActiveNote()) << "the refill leaves no note open";
    EXPECT_TRUE(book->IsModified());

    // Move Up on the first row is enabled but moves nothing.
    EXPECT_TRUE(Enabled(ID_MOVE_UP));
    frame->GetNotePanel()->MoveSelected(true);
    EXPECT_EQ(ItemText(0), "Two");
    EXPECT_EQ(List()->GetSelectionMark(), 0);

    frame->GetNotePanel()->MoveSelected(false);
    frame->GetNotePanel()->MoveSelected(false);
    EXPECT_EQ(List()->GetSelectionMark(), 2);
    EXPECT_EQ(book->GetNoteAtIndex(2)->GetSerial(), serials[1]);
    frame->GetNotePanel()->MoveSelected(false);
    EXPECT_EQ(List()->GetSelectionMark(), 2);
    EXPECT_EQ(ItemText(2), "Two");
}

TEST_F(NoteListTest, RowsSpanTheListAfterAnyResizeAndLongTitlesAreKept)
{
    const std::string longTitle(40000, 'w');
    OpenNotes({{"Short", ""}, {longTitle, ""}});
    for (const QSize size : {QSize(900, 500), QSize(520, 520)}) {
        frame->resize(size);
        QApplication::processEvents();
        const int width = List()->viewport()->width();
        for (int row = 0; row < 2; ++row)
            EXPECT_EQ(List()->visualRect(List()->model()->index(row, 0)).width(), width);
        EXPECT_FALSE(List()->horizontalScrollBar()->isVisible());
    }
    // Neither the label editor nor the title box cut a title past the line edit's usual limit.
    Activate(1);
    EXPECT_EQ(TitleBox()->text().size(), 40000);
    ListPane()->RenameSelected();
    ASSERT_NE(LabelEditor(), nullptr);
    QTest::keyClick(LabelEditor(), Qt::Key_Return);
    QApplication::processEvents();
    EXPECT_EQ(book->FindNote(serials[1])->GetTitle(), longTitle);
}

// The list's rows keep to the rules every view relies on through new, deleted and sorted notes:
// Qt's own model checker finds nothing.
TEST_F(NoteListTest, RowsKeepToTheItemModelRulesThroughEveryRefill)
{
    static std::vector<std::string> complaints;
    complaints.clear();
    const QtMessageHandler previous =
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& message) {
            complaints.push_back(message.toStdString());
        });
    OpenNotes({{"Beta", "b"}, {"alpha", "a"}, {"Gamma", "g"}});
    {
        QAbstractItemModelTester tester(List()->model(),
                                        QAbstractItemModelTester::FailureReportingMode::Warning);
        ASSERT_TRUE(frame->GetRouter().Run(ID_NEW_NOTE));
        ASSERT_TRUE(frame->GetRouter().Run(ID_SORT_NOTES));
        Click(1);
        ASSERT_TRUE(frame->GetRouter().Run(ID_DELETE_NOTE));
        QApplication::processEvents();
        EXPECT_EQ(List()->GetItemCount(), 3);
        EXPECT_FALSE(List()->model()->index(3, 0).isValid());
        EXPECT_FALSE(List()->model()->index(0, 1).isValid());
        EXPECT_FALSE(List()->model()->index(-1, 0).isValid());
        EXPECT_FALSE(List()->model()->index(0, 0, List()->model()->index(0, 0)).isValid());
    }
    qInstallMessageHandler(previous);
    EXPECT_TRUE(complaints.empty()) << complaints.front();
}

// A title changed from the title box or by Replace is painted where its row stands by the next
// pass of the event loop, and no row moves: the list repaints the row without laying every row out
// again first.
TEST_F(NoteListTest, AChangedTitleIsRepaintedInItsRowAndNoRowMoves)
{
    OpenNotes({{"One", "1"}, {"Two", "2"}, {"Three", "3"}});
    QApplication::processEvents();
    std::vector<QRect> rows;
    for (int row = 0; row < 3; ++row)
        rows.push_back(List()->visualRect(List()->model()->index(row, 0)));

    struct PaintedRegion : QObject
    {
        QRegion painted;
        bool eventFilter(QObject*, QEvent* event) override
        {
            if (event->type() == QEvent::Paint)
                painted += static_cast<QPaintEvent*>(event)->region();
            return false;
        }
    } paints;
    List()->viewport()->installEventFilter(&paints);
    book->FindNote(serials[1])->SetTitle("Two, and a much longer title than before");
    ASSERT_TRUE(ListPane()->UpdateNoteTitle(serials[1]));
    QApplication::processEvents();
    List()->viewport()->removeEventFilter(&paints);

    EXPECT_TRUE(paints.painted.contains(rows[1])) << "the changed row is painted again";
    EXPECT_EQ(ItemText(1), "Two, and a much longer title than before");
    for (int row = 0; row < 3; ++row)
        EXPECT_EQ(List()->visualRect(List()->model()->index(row, 0)), rows[static_cast<std::size_t>(row)]);
    List()->doItemsLayout();
    for (int row = 0; row < 3; ++row)
        EXPECT_EQ(List()->visualRect(List()->model()->index(row, 0)), rows[static_cast<std::size_t>(row)])
            << "a layout made afresh puts the rows where they are";
}

// The list lays its rows out in a grid of their height, which asks no row its size: every row
// stands where Qt's own list of rows of one height puts it, through refills of other lengths, a
// larger font, a spacing between the rows and a layout in slices.
TEST_F(NoteListTest, RowsStandWhereQtsOwnListOfUniformRowsPutsThem)
{
    QListView reference;
    reference.setUniformItemSizes(true);
    reference.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    reference.setItemDelegate(new CNoteItemDelegate(&reference));
    const auto expectSamePlaces = [&](const char* when) {
        // Each notebook the window opens has a model of its own.
        if (reference.model() != List()->model())
            reference.setModel(List()->model());
        reference.setFont(List()->font());
        reference.resize(List()->size());
        reference.setSpacing(List()->spacing());
        reference.doItemsLayout();
        List()->doItemsLayout();
        const int rows = List()->GetItemCount();
        ASSERT_GT(rows, 0) << when;
        for (const int row : {0, 1, rows / 2, rows - 1}) {
            const QModelIndex index = List()->model()->index(row, 0);
            EXPECT_EQ(List()->visualRect(index), reference.visualRect(index)) << when << ", row " << row;
        }
    };
    OpenNotes({{"One", ""}, {"Two", ""}, {"Three", ""}});
    expectSamePlaces("three notes");
    Notes many;
    for (int i = 0; i < 500; ++i)
        many.push_back({"Note " + std::to_string(i), ""});
    OpenNotes(many);
    expectSamePlaces("five hundred notes");
    QFont larger = List()->font();
    larger.setPointSize(larger.pointSize() * 2);
    List()->setFont(larger);
    expectSamePlaces("a larger font");
    List()->setSpacing(3);
    frame->GetNotePanel()->ReloadNoteList();
    expectSamePlaces("a spacing, after a refill");

    // A long list is laid out a slice at a time after a refill, the first slice painted before the
    // rest have places. A key or a selection that needs a row not laid out yet gets it at once, and
    // the slices end where the one pass puts every row.
    List()->setBatchSize(50);
    const int rows = List()->GetItemCount();
    const QModelIndex last = List()->model()->index(rows - 1, 0);
    const auto refill = [&] {
        frame->GetNotePanel()->ReloadNoteList();
        List()->doItemsLayout();
        ASSERT_FALSE(List()->visualRect(last).isValid()) << "only the first slice is laid out";
    };
    const auto shown = [&](int row) {
        return List()->viewport()->rect().contains(List()->visualRect(List()->model()->index(row, 0)));
    };
    refill();
    List()->setFocus();
    ASSERT_TRUE(List()->hasFocus());
    EXPECT_FALSE(List()->visualRect(last).isValid()) << "the focus lays out no more rows";
    QTest::keyClick(List(), Qt::Key_End);
    EXPECT_EQ(List()->GetSelectionMark(), rows - 1);
    EXPECT_TRUE(shown(rows - 1));
    QTest::keyClick(List(), Qt::Key_Up);
    EXPECT_EQ(List()->GetSelectionMark(), rows - 2);
    refill();
    EXPECT_TRUE(ListPane()->SelectNote(serials[321]));
    EXPECT_TRUE(shown(321));
    refill();
    ASSERT_TRUE(QTest::qWaitFor([&] { return List()->visualRect(last).isValid(); }, 10000));
    const int sliced = List()->verticalScrollBar()->maximum();
    const QRect lastSliced = List()->visualRect(last);
    List()->setBatchSize(rows);
    List()->doItemsLayout();
    EXPECT_EQ(sliced, List()->verticalScrollBar()->maximum());
    EXPECT_EQ(lastSliced, List()->visualRect(last));
}

// A drag is that many Move Up or Move Down in one refill; a short one or a click moves nothing.
TEST_F(NoteListTest, DraggingARowMovesItsNoteAsManyPlacesInOneStep)
{
    OpenNotes({{"a", "1"}, {"b", "2"}, {"c", "3"}, {"d", "4"}});
    QWidget* viewport = List()->viewport();
    auto drag = [&](int from, QPoint to) {
        QTest::mousePress(viewport, Qt::LeftButton, {}, RowCenter(from));
        QTest::mouseMove(viewport, RowCenter(from) + QPoint(0, 2 * QApplication::startDragDistance()));
        QTest::mouseMove(viewport, to);
        QTest::mouseRelease(viewport, Qt::LeftButton, {}, to);
        QApplication::processEvents();
    };
    auto titles = [&] {
        QStringList all;
        for (int row = 0; row < List()->GetItemCount(); ++row)
            all << ItemText(row);
        return all;
    };
    int resets = 0;
    const QMetaObject::Connection counting =
        QObject::connect(List()->model(), &QAbstractItemModel::modelReset, List(), [&] { ++resets; });
    drag(0, RowCenter(2));
    EXPECT_EQ(titles(), (QStringList{"b", "c", "a", "d"}));
    EXPECT_EQ(resets, 1) << "one step of the list";
    EXPECT_EQ(List()->GetSelectionMark(), 2);
    EXPECT_TRUE(book->IsModified());
    EXPECT_EQ(book->IndexOf(serials[0]), 2);

    // Up past the first row lands on the first row; below the last, on the last.
    drag(3, QPoint(RowCenter(0).x(), -5));
    EXPECT_EQ(titles(), (QStringList{"d", "b", "c", "a"}));
    drag(0, QPoint(RowCenter(0).x(), viewport->height() - 2));
    EXPECT_EQ(titles(), (QStringList{"b", "c", "a", "d"}));
    EXPECT_EQ(List()->GetSelectionMark(), 3);

    // A click, and a drag that comes back to its row, move nothing and change nothing.
    book->SetModifiedFlag(false);
    resets = 0;
    Click(1);
    drag(1, RowCenter(1));
    EXPECT_EQ(titles(), (QStringList{"b", "c", "a", "d"}));
    EXPECT_EQ(resets, 0);
    EXPECT_FALSE(book->IsModified());
    QObject::disconnect(counting);
}
