#include "model/CNoteBook.h"
#include "support/PaneFixture.h"
#include "support/TempDir.h"
#include "text/TextPositions.h"
#include "views/CCountsPane.h"

#include <QClipboard>
#include <QMimeData>
#include <QScrollBar>

using NoteEditTest = PaneTest;

namespace {

void SetClipboard(const QString& text, const QString& html = {})
{
    auto* data = new QMimeData;
    if (!html.isEmpty())
        data->setHtml(html);
    if (!text.isNull())
        data->setText(text);
    QApplication::clipboard()->setMimeData(data);
}

} // namespace

TEST_F(NoteEditTest, OpeningMarksNothingTheFirstKeystrokeMarksAtOnce)
{
    OpenNotes({{"One", "text"}});
    EXPECT_EQ(Text(), nullptr) << "no controls while no note is open";
    Activate(0);
    ASSERT_NE(Text(), nullptr);
    EXPECT_EQ(Text()->toPlainText(), "text");
    EXPECT_FALSE(book->IsModified());
    EXPECT_FALSE(Enabled(ID_UNDO_CHANGES));

    QTest::keyClick(Text(), Qt::Key_X);
    EXPECT_TRUE(book->IsModified());
    EXPECT_TRUE(Enabled(ID_UNDO_CHANGES)) << "the toolbar follows at once";
    EXPECT_EQ(book->FindNote(serials[0])->GetText(), "text");
}

TEST_F(NoteEditTest, TitleIsCommittedWhenTheBoxLosesTheFocus)
{
    OpenNotes({{"One", "1"}, {"Two", "2"}});
    Activate(0);
    QTest::mouseClick(TitleBox(), Qt::LeftButton);
    ASSERT_TRUE(TitleBox()->hasFocus());
    TitleBox()->selectAll();
    QTest::keyClicks(TitleBox(), " New title");
    QTest::keyClick(TitleBox(), Qt::Key_Return);
    EXPECT_EQ(Active()->GetTitle(), "One") << "only leaving the box commits";
    EXPECT_FALSE(book->IsModified());

    QTest::mouseClick(Text()->viewport(), Qt::LeftButton);
    EXPECT_EQ(Active()->GetTitle(), " New title");
    EXPECT_EQ(ItemText(0), " New title");
    EXPECT_TRUE(book->IsModified());

    // Left unchanged, the box still marks the notebook.
    book->SetModifiedFlag(false);
    TitleBox()->setFocus();
    Click(1);
    EXPECT_TRUE(book->IsModified());
    EXPECT_EQ(frame->GetActiveNote(), true) << "a click only selects";

    // Left empty, the box stores nothing; the box stays empty until the note is opened again.
    book->SetModifiedFlag(false);
    TitleBox()->setFocus();
    TitleBox()->clear();
    Click(1);
    EXPECT_EQ(Active()->GetTitle(), " New title");
    EXPECT_EQ(ItemText(0), " New title");
    EXPECT_TRUE(TitleBox()->text().isEmpty());
    EXPECT_FALSE(book->IsModified());
}

TEST_F(NoteEditTest, TitleTypedBeforeANewNoteIsCommittedAsTheBoxGoes)
{
    OpenNotes({{"One", "1"}});
    Activate(0);
    TitleBox()->setFocus();
    TitleBox()->setText("Kept");
    ASSERT_TRUE(frame->GetRouter().Run(ID_NEW_NOTE)); // refills the list and closes the editor
    EXPECT_EQ(book->FindNote(serials[0])->GetTitle(), "Kept");
    EXPECT_EQ(ItemText(1), "Kept");
    EXPECT_EQ(TitleBox(), nullptr);
}

TEST_F(NoteEditTest, WordWrapRebuildKeepsUnsavedText)
{
    OpenNotes({{"One", "first line"}});
    frame->m_bWordWrap = false;
    Activate(0);
    EXPECT_EQ(Text()->lineWrapMode(), CRichEditCtrlEx::NoWrap);
    Text()->setFocus();
    CaretToEnd();
    QTest::keyClicks(Text(), " and more");
    ASSERT_TRUE(frame->GetRouter().Run(ID_WORD_WRAP));
    ASSERT_NE(Text(), nullptr);
    EXPECT_EQ(Text()->lineWrapMode(), CRichEditCtrlEx::WidgetWidth);
    EXPECT_EQ(Text()->toPlainText(), "first line and more");
    EXPECT_EQ(Text()->CursorPosition(), 0) << "the caret returns to the start";
    EXPECT_TRUE(Text()->hasFocus()) << "typing goes on in the rebuilt text";
    ASSERT_TRUE(frame->GetRouter().Run(ID_WORD_WRAP));
    EXPECT_EQ(Text()->lineWrapMode(), CRichEditCtrlEx::NoWrap);
    EXPECT_EQ(Text()->toPlainText(), "first line and more");
}

TEST_F(NoteEditTest, PasteTakesOnlyThePlainTextOfRichClipboardContent)
{
    OpenNotes({{"One", ""}});
    Activate(0);
    SetClipboard("bold words", "<b>bold</b> <i>words</i>");
    ASSERT_TRUE(Enabled(ID_EDIT_PASTE));
    ASSERT_TRUE(frame->GetRouter().Run(ID_EDIT_PASTE));
    EXPECT_EQ(Text()->toPlainText(), "bold words");
    EXPECT_TRUE(book->IsModified());

    // Copy and cut put plain text alone on the clipboard.
    Text()->selectAll();
    ASSERT_TRUE(frame->GetRouter().Run(ID_EDIT_CUT));
    const QMimeData* copied = QApplication::clipboard()->mimeData();
    EXPECT_EQ(copied->formats(), QStringList{"text/plain"});
    EXPECT_EQ(copied->text(), "bold words");
    EXPECT_TRUE(Text()->toPlainText().isEmpty());

    // Dropped or pasted content without text inserts nothing.
    SetClipboard(QString(), "<b>only html</b>");
    EXPECT_FALSE(Enabled(ID_EDIT_PASTE));
    Editor()->Paste();
    EXPECT_TRUE(Text()->toPlainText().isEmpty());
}

TEST_F(NoteEditTest, ClipboardCommandsFollowSelectionAndClipboard)
{
    OpenNotes({{"One", "some text"}});
    SetClipboard("x");
    EXPECT_FALSE(Enabled(ID_EDIT_COPY)) << "no note open";
    EXPECT_FALSE(Enabled(ID_EDIT_PASTE));
    Activate(0);
    EXPECT_FALSE(Enabled(ID_EDIT_CUT));
    EXPECT_FALSE(Enabled(ID_EDIT_COPY));
    EXPECT_TRUE(Enabled(ID_EDIT_PASTE));

    Text()->setFocus();
    QTest::keyClick(Text(), Qt::Key_Home);
    QTest::keyClick(Text(), Qt::Key_Right, Qt::ShiftModifier);
    EXPECT_TRUE(Enabled(ID_EDIT_CUT));
    EXPECT_TRUE(frame->GetRouter().Action(ID_EDIT_COPY)->isEnabled()) << "the toolbar follows";

    QApplication::clipboard()->clear();
    EXPECT_FALSE(Enabled(ID_EDIT_PASTE));

    // The text's own context menu: Paste always, Cut and Copy only with a selection.
    QTest::keyClick(Text(), Qt::Key_End);
    SetClipboard("!");
    ASSERT_TRUE(ChooseFromContextMenu(Text()->viewport(), QPoint(5, 5), "&Paste"));
    EXPECT_EQ(Text()->toPlainText(), "some text!");
    for (QAction* action : frame->GetContextSubMenu(1)->actions())
        EXPECT_EQ(action->isEnabled(), action->text() == "&Paste") << action->text().toStdString();
    Text()->selectAll();
    ASSERT_TRUE(ChooseFromContextMenu(Text()->viewport(), QPoint(5, 5), "&Copy"));
    EXPECT_EQ(QApplication::clipboard()->text(), "some text!");
    for (QAction* action : frame->GetContextSubMenu(1)->actions())
        EXPECT_TRUE(action->isEnabled()) << action->text().toStdString();
}

TEST_F(NoteEditTest, SelectionLandsOnTheRightCharactersInMultibyteText)
{
    // Accents, the euro sign and an emoji before the word, each more than one byte.
    const std::string text = "Caf\xC3\xA9 \xE2\x82\xAC\xF0\x9F\x98\x80 na\xC3\xAFve\r\nsecond line word";
    OpenNotes({{"One", text}});
    Activate(0);
    for (const std::string word : {"na\xC3\xAFve", "word", "\xF0\x9F\x98\x80", "\xE2\x82\xAC"}) {
        const std::size_t at = text.find(word);
        Text()->SelectAndScroll(CharFromByteOffset(text, at), CharFromByteOffset(text, at + word.size()));
        EXPECT_EQ(Text()->SelectedText().toStdString(), word);
        EXPECT_EQ(ByteFromCharOffset(text, Text()->SelectionStart()), at);
    }
    EXPECT_TRUE(Text()->hasFocus());
}

TEST_F(NoteEditTest, SelectAndScrollBringsTheLineOfTheStartToTheTop)
{
    std::string text;
    for (int line = 0; line < 200; ++line)
        text += "line " + std::to_string(line) + "\n";
    OpenNotes({{"One", text}});
    Activate(0);
    const int start = CharFromByteOffset(text, text.find("line 120"));
    Text()->SelectAndScroll(start, start + 8);
    EXPECT_EQ(Text()->SelectedText(), "line 120");
    EXPECT_EQ(Text()->FirstVisibleLine(), 120);

    // Near the end the text scrolls as far as it can.
    const int late = CharFromByteOffset(text, text.find("line 198"));
    Text()->SelectAndScroll(late, late + 8);
    EXPECT_EQ(Text()->verticalScrollBar()->value(), Text()->verticalScrollBar()->maximum());
    EXPECT_LT(Text()->FirstVisibleLine(), 198);
}

TEST_F(NoteEditTest, NoteOverTheLimitSurvivesOpenAndSaveWhole)
{
    const int limit = CNoteEditCtrl::kTextLimit;
    const std::string huge = std::string(limit + 10, 'h');
    OpenNotes({{"Huge", huge}, {"Small", "abc"}});
    Activate(0);
    EXPECT_EQ(Text()->GetTextLength(), limit + 10);
    CaretToEnd();
    QTest::keyClicks(Text(), "xyz");
    QTest::keyClick(Text(), Qt::Key_Return);
    EXPECT_EQ(Text()->GetTextLength(), limit + 10) << "no typing past the limit";
    TempDir dir;
    CFileDialog::SetNextFileName(QString::fromStdString(dir.File("huge.pelm")));
    ASSERT_TRUE(frame->SaveBookAs());
    EXPECT_TRUE(book->FindNote(serials[0])->GetText() == huge);
    CNoteBook reread;
    ASSERT_TRUE(reread.ReadFile(dir.File("huge.pelm")));
    ASSERT_EQ(reread.GetCount(), 2u);
    EXPECT_TRUE(reread.GetNoteAtIndex(0)->GetText() == huge);

    // A change below the length it had is stored with the whole rest of the text.
    QTest::keyClick(Text(), Qt::Key_Backspace);
    QTest::keyClicks(Text(), "e");
    EXPECT_EQ(Text()->GetTextLength(), limit + 9) << "still past the limit: no typing";
    Editor()->SaveText();
    EXPECT_EQ(book->FindNote(serials[0])->GetText().size(), huge.size() - 1);

    // Deleting makes room again, exactly as much as was deleted.
    for (int i = 0; i < 15; ++i)
        QTest::keyClick(Text(), Qt::Key_Backspace);
    QTest::keyClicks(Text(), "abcde");
    EXPECT_EQ(Text()->GetTextLength(), limit - 1);
    QTest::keyClicks(Text(), "fg");
    EXPECT_EQ(Text()->GetTextLength(), limit);
    Activate(1);
    EXPECT_TRUE(book->FindNote(serials[0])->GetText() == std::string(limit - 6, 'h') + "abcdef");
}

TEST_F(NoteEditTest, PasteStopsAtTheLimit)
{
    const int limit = CNoteEditCtrl::kTextLimit;
    OpenNotes({{"Almost", std::string(limit - 3, 'a')}});
    Activate(0);
    CaretToEnd();
    // A pair of surrogates is never split.
    SetClipboard(QString::fromUtf8("xy\xF0\x9F\x98\x80z"));
    Editor()->Paste();
    EXPECT_EQ(Text()->GetTextLength(), limit - 1);
    EXPECT_TRUE(Text()->toPlainText().endsWith("axy"));
    SetClipboard("\r\n");
    Editor()->Paste();
    EXPECT_EQ(Text()->GetTextLength(), limit) << "a Windows line end is one character";
}

TEST_F(NoteEditTest, UnchangedTextKeepsItsBytesAndChangedTextItsLineEnds)
{
    // Line ends of the Windows program, a no-break space and a line separator.
    const std::string windows = "one\r\ntwo\xC2\xA0"
                                "three\xE2\x80\xA8"
                                "four\r\n";
    OpenNotes({{"Win", windows}, {"Unix", "a\nb"}});
    Activate(0);
    Activate(1);
    EXPECT_EQ(book->FindNote(serials[0])->GetText(), windows);

    Activate(0);
    CaretToEnd();
    QTest::keyClicks(Text(), "five");
    QTest::keyClick(Text(), Qt::Key_Return);
    Activate(1);
    EXPECT_EQ(book->FindNote(serials[0])->GetText(), windows + "five\r\n");

    CaretToEnd();
    QTest::keyClick(Text(), Qt::Key_Return);
    Activate(0);
    EXPECT_EQ(book->FindNote(serials[1])->GetText(), "a\nb\n");
}

TEST_F(NoteEditTest, UndoChangesPutsTheStoredTextBack)
{
    OpenNotes({{"One", "stored"}});
    Activate(0);
    QTest::keyClicks(Text(), "typed ");
    ASSERT_TRUE(frame->GetRouter().Run(ID_UNDO_CHANGES));
    EXPECT_EQ(Text()->toPlainText(), "stored");
    Activate(0);
    EXPECT_EQ(book->FindNote(serials[0])->GetText(), "stored");
}

TEST_F(NoteEditTest, LayoutFollowsTheVerticalScaleAndFonts)
{
    OpenNotes({{"One", "1"}});
    Activate(0);
    const QRect client = Editor()->contentsRect();
    EXPECT_EQ(TitleBox()->geometry(), QRect(client.left() + 4, client.top() + 4, client.width() - 8, 20));
    EXPECT_EQ(Text()->geometry().top(), client.top() + 28);
    EXPECT_EQ(Text()->geometry().bottom(), client.bottom() - 4);
    EXPECT_EQ(TitleBox()->palette().color(QPalette::Base), QColor(88, 88, 88));
    EXPECT_EQ(TitleBox()->palette().color(QPalette::Text), QColor(Qt::white));
    EXPECT_EQ(TitleBox()->font(), frame->m_titleFont);
    EXPECT_EQ(Text()->font(), frame->m_textFont);

    g_scaleY = 1.5;
    Editor()->RecalcLayout();
    EXPECT_EQ(TitleBox()->height(), 30);
    EXPECT_EQ(Text()->geometry().top(), client.top() + 38);
    g_scaleY = 1.0;

    ASSERT_TRUE(frame->GetRouter().Run(ID_FONT_COURIER));
    EXPECT_EQ(TitleBox()->font(), frame->m_titleFont);
    EXPECT_EQ(Text()->font(), frame->m_textFont);
    EXPECT_EQ(Text()->font().family(), frame->m_textFont.family());
}

TEST_F(NoteEditTest, PositionsAgreeWithTheTextTheEditorShows)
{
    const std::string texts[] = {"plain", "a\x80z\xE2\x82", "\xF0\x9F\x98\x80\xC3\xA9\r\n\rx\n",
                                 "\xC0\xAF\xED\xA0\x80"};
    for (const std::string& text : texts) {
        OpenNotes({{"One", text}});
        Activate(0);
        EXPECT_EQ(CharFromByteOffset(text, text.size()), Text()->GetTextLength());
        book->SetModifiedFlag(false);
    }
}

// A long text with Windows line ends is handed out in pieces, the line ends written on the way, and
// made whole in one string: both give the stored text with the typing, line ends and all.
TEST_F(NoteEditTest, ALongTextWithWindowsLineEndsComesOutWholeAndInPieces)
{
    std::string windows;
    for (int line = 0; windows.size() < 300'000; ++line)
        windows += "line " + std::to_string(line) + " caf\xC3\xA9\r\n";
    OpenNotes({{"Win", windows}});
    Activate(0);
    CaretToEnd();
    QTest::keyClicks(Text(), "end");
    std::string pieces;
    int count = 0;
    Editor()->ForEachTextPiece([&](std::string_view piece) {
        pieces += piece;
        ++count;
    });
    EXPECT_EQ(pieces, windows + "end");
    EXPECT_GT(count, 1);
    EXPECT_EQ(Editor()->GetText(), windows + "end");
}

// The status bar counts the open note, or the selection; a large text is counted between events,
// never on the key's way, and a count a key made stale starts again.
TEST_F(NoteEditTest, StatusBarCountsTheNoteOrTheSelectionOffTheKeysWay)
{
    auto* counts = frame->findChild<CCountsPane*>();
    ASSERT_NE(counts, nullptr);
    OpenNotes({{"small", "one two three"}, {"large", std::string(3 << 20, 'x') + " last"}});
    EXPECT_FALSE(counts->isVisible()) << "no note open";
    Activate(0);
    QTRY_COMPARE(counts->text(), QString("3 words, 13 characters"));
    EXPECT_TRUE(counts->isVisible());
    CaretToEnd();
    QTest::keyClicks(Text(), " 4");
    QTRY_COMPARE(counts->text(), QString("4 words, 15 characters"));
    Text()->SetSelection(4, 7);
    QTRY_COMPARE(counts->text(), QString("1 word, 3 characters selected"));
    Text()->SetSelection(3, 4);
    QTRY_COMPARE(counts->text(), QString("0 words, 1 character selected"));

    Activate(1);
    QTRY_COMPARE(counts->text(), QString("2 words, 3,145,733 characters"));
    CaretToEnd();
    QTest::keyClicks(Text(), " more");
    EXPECT_EQ(counts->text(), QString("2 words, 3,145,733 characters")) << "not counted on the key's way";
    QTRY_COMPARE(counts->text(), QString("3 words, 3,145,738 characters"));

    frame->SetActiveNote(-1, true);
    EXPECT_FALSE(counts->isVisible());
}
