#include "app/CAboutDlg.h"
#include "app/CHostWnd.h"
#include "app/CommandIds.h"
#include "platform/qt/CLockKeys.h"
#include "support/FrameFixture.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"
#include "views/CNotePanel.h"

#include <QActionGroup>
#include <QFile>

#include <filesystem>
#include <fstream>
#include <functional>

#include <QLabel>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>

namespace {

QToolButton* ToolButton(CMainFrame& frame, QAction* action)
{
    auto* toolbar = frame.findChild<QToolBar*>("toolbar");
    return toolbar ? qobject_cast<QToolButton*>(toolbar->widgetForAction(action)) : nullptr;
}

// Each item as the menu shows it: its text, and the keys after a tab.
QStringList MenuTexts(QMenu* menu)
{
    QStringList texts;
    for (QAction* action : menu->actions()) {
        const QString keys = action->shortcut().toString(QKeySequence::NativeText);
        texts << (action->isSeparator() ? QStringLiteral("-")
                                        : action->text() + (keys.isEmpty() ? QString() : "\t" + keys));
    }
    return texts;
}

} // namespace

TEST(ScaleFactors, SmallIconSizeOverSixteenNeverBelowOne)
{
    EXPECT_EQ(ScaleFromIconSize(16), 1.0);
    EXPECT_EQ(ScaleFromIconSize(12), 1.0);
    EXPECT_EQ(ScaleFromIconSize(20), 1.25);
    EXPECT_EQ(ScaleFromIconSize(24), 1.5);
    EXPECT_EQ(ScaleFromIconSize(32), 2.0);
}

TEST_F(FrameTest, StartsTitledPelmoraWithTheGrayHostAndNoNotebook)
{
    EXPECT_EQ(frame->windowTitle(), "Pelmora");
    EXPECT_EQ(frame->GetNoteBook(), nullptr);
    EXPECT_EQ(frame->GetNotePanel(), nullptr);
    EXPECT_FALSE(frame->GetActiveNote());
    CHostWnd* host = frame->GetHost();
    ASSERT_NE(host, nullptr);
    EXPECT_EQ(host->palette().color(QPalette::Window), QColor(100, 100, 100));
    EXPECT_EQ(host->frameShadow(), QFrame::Sunken);
    EXPECT_EQ(frame->statusBar()->currentMessage(), "Ready");
    for (const char* image : {"pelmora", "toolbar/new-note", "toolbar/save", "toolbar/paste"})
        EXPECT_TRUE(QFile::exists(QString(":/icons/%1.svg").arg(image))) << image;
}

TEST_F(FrameTest, MenusHoldEveryItemInOrder)
{
    QStringList tops;
    for (QAction* top : frame->menuBar()->actions())
        tops << top->text();
    EXPECT_EQ(tops, (QStringList{"&Book", "&Note", "&Format", "&Help"}));
    EXPECT_EQ(MenuTexts(MenuOf(ID_FILE_NEW)), (QStringList{"&New",
                                                           "&Open",
                                                           "&Recent NoteBooks",
                                                           "-",
                                                           "&Save\tCtrl+S",
                                                           "Save &As...",
                                                           "-",
                                                           "Import &Files...",
                                                           "&Export...",
                                                           "Export as P&DF...",
                                                           "Pr&int...\tCtrl+P",
                                                           "-",
                                                           "En&coding",
                                                           "Set &Password...",
                                                           "C&hange Passphrase...",
                                                           "-",
                                                           "Associa&te Pelmora Files",
                                                           "-",
                                                           "Reopen &Last NoteBook at Start",
                                                           "-",
                                                           "E&xit"}));
    QMenu* encoding = MenuOf(ID_FILE_NEW)->actions().at(12)->menu();
    ASSERT_NE(encoding, nullptr);
    EXPECT_EQ(MenuTexts(encoding), (QStringList{"&Unicode (UTF-8)", "&Western (Windows-1252)"}));
    ASSERT_NE(Action(ID_ENCODING_UTF8)->actionGroup(), nullptr);
    EXPECT_TRUE(Action(ID_ENCODING_UTF8)->actionGroup()->isExclusive()) << "radio items";
    EXPECT_EQ(MenuTexts(MenuOf(ID_NEW_NOTE)), (QStringList{"&Undo Changes\tCtrl+Alt+Z",
                                                           "-",
                                                           "Cu&t\tCtrl+X",
                                                           "&Copy\tCtrl+C",
                                                           "&Paste\tCtrl+V",
                                                           "-",
                                                           "&New Note\tCtrl+N",
                                                           "&Rename",
                                                           "&Delete Note\tCtrl+Del",
                                                           "-",
                                                           "Move Up",
                                                           "Move Down",
                                                           "-",
                                                           "Sort &Alphabetically",
                                                           "-",
                                                           "Find Next\tF3",
                                                           "&Find All\tCtrl+Shift+F",
                                                           "Jump to Search Bar\tCtrl+F",
                                                           "&Go to Note...\tCtrl+G",
                                                           "-",
                                                           "Replac&e...\tCtrl+H",
                                                           "Undo Replace A&ll"}));
    EXPECT_EQ(MenuTexts(MenuOf(ID_APP_ABOUT)),
              (QStringList{"&Keyboard Shortcuts", "-", "&About Pelmora..."}));
    EXPECT_EQ(
        MenuTexts(MenuOf(ID_BOLD)),
        (QStringList{"&Times New Roman", "Ta&homa", "&Verdana", "&Lucida Console", "&Courier New", "&Arial",
                     "-", "&Bold", "-", "&Word Wrap", "-", "Zoom &In\tCtrl++", "Zoom &Out\tCtrl+-",
                     "&Normal Size\tCtrl+0", "-", "Check &Spelling", "Spelling Lan&guage"}));
    EXPECT_EQ(Action(ID_FILE_SAVE)->statusTip(), "Save the current note book.");
    EXPECT_EQ(Action(ID_FILE_SAVE)->toolTip(), "Save");
    EXPECT_EQ(Action(ID_NEW_NOTE)->toolTip(), "New Note");
}

// Alt and a letter opens a menu, then the letter picks the item: two items of one menu with one
// letter make the second unreachable.
TEST_F(FrameTest, EveryMenuHasUniqueAccessLetters)
{
    // Items that carry a key of their own and, as the Windows program had them, no letter.
    const QStringList withoutLetter{"Move Up", "Move Down", "Find Next", "Jump to Search Bar"};
    std::function<void(const QString&, const QList<QAction*>&)> check = [&](const QString& where,
                                                                            const QList<QAction*>& items) {
        QMap<QKeySequence, QString> taken;
        for (QAction* item : items) {
            if (item->isSeparator() || !item->isVisible())
                continue;
            const QKeySequence letter = QKeySequence::mnemonic(item->text());
            // Commands and submenus need a letter; a list of names (the dictionaries) does not.
            const bool command = item->menu() || item->data().isValid();
            if (letter.isEmpty()) {
                EXPECT_TRUE(!command || withoutLetter.contains(item->text()))
                    << where.toStdString() << ": \"" << item->text().toStdString()
                    << "\" has no access letter";
            } else {
                EXPECT_FALSE(taken.contains(letter))
                    << where.toStdString() << ": \"" << item->text().toStdString() << "\" and \""
                    << taken.value(letter).toStdString() << "\" share " << letter.toString().toStdString();
                taken.insert(letter, item->text());
            }
            if (item->menu())
                check(where + " > " + item->text(), item->menu()->actions());
        }
    };
    frame->GetRouter().Run(ID_FILE_NEW);
    check("menu bar", frame->menuBar()->actions());
    for (int position : {0, 1})
        check(QString("context menu %1").arg(position), frame->GetContextSubMenu(position)->actions());
    // The fault this guards against: Set Password's P taken again lower down.
    EXPECT_EQ(QKeySequence::mnemonic(Action(ID_SET_PASSWORD)->text()), QKeySequence(Qt::ALT | Qt::Key_P));
}

TEST_F(FrameTest, MinimumSizeShrinksWithTheScale)
{
    EXPECT_EQ(frame->minimumSize(), QSize(500, 500));
    frame.reset();
    g_scaleX = g_scaleY = 2.0;
    frame = std::make_unique<CMainFrame>();
    ASSERT_TRUE(frame->Create());
    EXPECT_EQ(frame->minimumSize(), QSize(250, 250));
    // Fonts and buttons grow instead.
    EXPECT_EQ(frame->m_textFont.family(), "Verdana");
    auto* button = ToolButton(*frame, Action(ID_FILE_SAVE));
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->size(), QSize(46, 44));
    g_scaleX = g_scaleY = 1.0;
}

TEST_F(FrameTest, DisabledCommandsDoNotRunFromShortcutsOrButtons)
{
    // No notebook: Save is disabled, so Ctrl+S must not reach the Save As dialog.
    CFileDialog::SetNextFileName({});
    QTest::keyClick(frame.get(), Qt::Key_S, Qt::ControlModifier);
    EXPECT_TRUE(CFileDialog::HasQueuedAnswers());
    EXPECT_FALSE(Action(ID_FILE_SAVE)->isEnabled());
    EXPECT_FALSE(ToolButton(*frame, Action(ID_FILE_SAVE))->isEnabled());
    EXPECT_FALSE(frame->GetRouter().Run(ID_NEW_NOTE));
    EXPECT_EQ(frame->GetNoteBook(), nullptr);

    // With a new notebook Save runs and asks for a file (answered: cancel).
    frame->GetRouter().Run(ID_FILE_NEW);
    ASSERT_TRUE(frame->IsBookOpen());
    EXPECT_TRUE(Action(ID_FILE_SAVE)->isEnabled()) << "the toolbar follows at once";
    QTest::keyClick(frame.get(), Qt::Key_S, Qt::ControlModifier);
    EXPECT_FALSE(CFileDialog::HasQueuedAnswers());
}

TEST_F(FrameTest, MenuItemsTakeTheirStateWhenTheMenuOpens)
{
    QMenu* format = MenuOf(ID_BOLD);
    ASSERT_NE(format, nullptr);
    frame->m_bBold = true;
    emit format->aboutToShow();
    EXPECT_FALSE(Action(ID_BOLD)->isEnabled()) << "no note is active";
    EXPECT_TRUE(Action(ID_BOLD)->isChecked());
    EXPECT_FALSE(Action(ID_FONT_COURIER)->isEnabled());
    frame->m_bBold = false;
}

TEST_F(FrameTest, FontCommandsTraceTheirUpdates)
{
    TraceCapture trace;
    frame->GetRouter().Query(ID_FONT_ARIAL);
    ASSERT_FALSE(trace.lines.empty());
    EXPECT_EQ(trace.lines.back(), "Code received id = 32789, code = -1\r\n");
    EXPECT_FALSE(frame->GetRouter().Run(ID_FONT_ARIAL)) << "disabled without an active note";
}

TEST_F(FrameTest, NoteFontsFollowFaceBoldAndScale)
{
    frame->m_bBold = false;
    frame->SetNoteFont("Courier New");
    LogFont text;
    frame->GetTextFont(text);
    EXPECT_STREQ(text.lfFaceName, "Courier New");
    EXPECT_EQ(text.lfHeight, 18);
    EXPECT_EQ(text.lfWeight, 400);
    EXPECT_EQ(frame->m_titleFont.family(), "Courier New");
    EXPECT_EQ(frame->m_titleFont.weight(), QFont::Bold);
    EXPECT_EQ(frame->m_textFont.weight(), QFont::Normal);
    EXPECT_LE(QFontMetrics(frame->m_textFont).height(), 18);

    frame->m_bBold = true;
    frame->SetNoteFont("Arial");
    frame->GetTextFont(text);
    EXPECT_EQ(text.lfWeight, 700);
    EXPECT_EQ(frame->m_textFont.weight(), QFont::Bold);
    frame->m_bBold = false;
}

TEST_F(FrameTest, ClosePromptsOnlyForAModifiedNotebook)
{
    frame->GetRouter().Run(ID_FILE_NEW);
    EXPECT_TRUE(frame->close());
    EXPECT_TRUE(boxes.boxes.empty());

    frame->show();
    frame->GetRouter().Run(ID_FILE_NEW);
    frame->GetNoteBook()->SetModified();
    // No answer queued: the default button, Cancel, keeps everything.
    EXPECT_FALSE(frame->close());
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].text, "Do you wish to save your changes?");
    EXPECT_EQ(boxes.boxes[0].style, unsigned(MB_YESNOCANCEL | MB_ICONQUESTION | MB_DEFBUTTON3));
    EXPECT_TRUE(frame->IsBookOpen());

    boxes.answers.push_back(IDNO);
    EXPECT_TRUE(frame->close());
    EXPECT_FALSE(frame->IsBookOpen());
}

TEST_F(FrameTest, PlacementRoundTripsAndStaysOnAScreen)
{
    WindowPlacement placement{};
    placement.length = 44;
    placement.showCmd = SW_SHOWNORMAL;
    placement.left = 40;
    placement.top = 30;
    placement.right = 40 + 640;
    placement.bottom = 30 + 520;
    frame->SetWindowPlacement(placement);
    WindowPlacement back{};
    frame->GetWindowPlacement(back);
    EXPECT_EQ(back.length, 44u);
    EXPECT_EQ(back.showCmd, unsigned(SW_SHOWNORMAL));
    EXPECT_EQ(back.right - back.left, 640);
    EXPECT_EQ(back.bottom - back.top, 520);

    placement.left = 90000;
    placement.right = 90000 + 640;
    frame->SetWindowPlacement(placement);
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_TRUE(screen.intersects(frame->geometry())) << "moved back onto the screen";

    placement.showCmd = SW_SHOWMAXIMIZED;
    frame->SetWindowPlacement(placement);
    frame->GetWindowPlacement(back);
    EXPECT_EQ(back.showCmd, unsigned(SW_SHOWMAXIMIZED));
}

TEST_F(FrameTest, AboutBoxShowsTheProgramVersion)
{
    CAboutDlg about(frame.get());
    EXPECT_EQ(about.windowTitle(), "About Pelmora");
    EXPECT_EQ(about.VersionLabel()->text(), "Version 1.2.0.1");
}

TEST_F(FrameTest, NewNotebookGetsAPanelFillingTheHost)
{
    frame->GetRouter().Run(ID_FILE_NEW);
    ASSERT_TRUE(frame->IsBookOpen());
    EXPECT_EQ(frame->GetNotePanel()->parentWidget(), frame->GetHost());
    EXPECT_EQ(frame->GetNotePanel()->geometry(), frame->GetHost()->contentsRect());
    frame->resize(frame->width() + 37, frame->height() + 11);
    QApplication::processEvents();
    EXPECT_EQ(frame->GetNotePanel()->geometry(), frame->GetHost()->contentsRect());
    EXPECT_EQ(frame->windowTitle(), "Pelmora");
}

TEST_F(FrameTest, AssociateTellsOnlyOfSuccess)
{
    TempDir home;
    ScopedEnv env;
    env.Set("XDG_DATA_HOME", (home.Path() / "data").string());
    env.Set("XDG_CONFIG_HOME", (home.Path() / "config").string());
    ASSERT_TRUE(frame->GetRouter().Run(ID_ASSOCIATE));
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].text, ".pelm files have been successfully associated with Pelmora");
    EXPECT_EQ(boxes.boxes[0].style, unsigned(MB_ICONINFORMATION));
    EXPECT_TRUE(std::filesystem::exists(home.Path() / "data/applications/pelmora.desktop"));

    // A data folder that cannot be made: nothing is shown.
    std::ofstream(home.File("blocker")) << "a file, not a folder";
    env.Set("XDG_DATA_HOME", home.File("blocker") + "/data");
    frame->GetRouter().Run(ID_ASSOCIATE);
    EXPECT_EQ(boxes.boxes.size(), 1u);
}

TEST(LockKeys, IndicatorBitsAreCapsNumScroll)
{
    const CLockKeys caps = CLockKeys::FromIndicatorMask(1);
    EXPECT_TRUE(caps.caps);
    EXPECT_FALSE(caps.num || caps.scroll);
    const CLockKeys numScroll = CLockKeys::FromIndicatorMask(6 | 0x100);
    EXPECT_FALSE(numScroll.caps);
    EXPECT_TRUE(numScroll.num && numScroll.scroll);
    CLockKeys unknown;
    EXPECT_FALSE(CLockKeys::Query(unknown)) << "the offscreen platform has no keyboard to ask";
}
