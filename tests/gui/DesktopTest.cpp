#include "app/CCommandLineInfo.h"
#include "app/CHostWnd.h"
#include "support/PaneFixture.h"
#include "support/TempDir.h"
#include "views/CSearchBar.h"

#include <QAccessible>
#include <QDropEvent>
#include <QMenuBar>
#include <QMimeData>
#include <QPainter>
#include <QStatusBar>
#include <QStyleFactory>
#include <QToolBar>
#include <QToolButton>

#include <map>

namespace {

// A dark palette as dark desktop themes set it.
QPalette DarkPalette()
{
    QPalette dark;
    dark.setColor(QPalette::Window, QColor(53, 53, 53));
    dark.setColor(QPalette::WindowText, Qt::white);
    dark.setColor(QPalette::Base, QColor(42, 42, 42));
    dark.setColor(QPalette::AlternateBase, QColor(66, 66, 66));
    dark.setColor(QPalette::Text, Qt::white);
    dark.setColor(QPalette::Button, QColor(53, 53, 53));
    dark.setColor(QPalette::ButtonText, Qt::white);
    dark.setColor(QPalette::Highlight, QColor(42, 130, 218));
    dark.setColor(QPalette::HighlightedText, Qt::white);
    return dark;
}

// Puts the style and palette back whatever the test did.
struct ScopedLook
{
    ScopedLook() : style(QApplication::style()->name()), palette(QApplication::palette()) {}
    ~ScopedLook()
    {
        QApplication::setStyle(QStyleFactory::create(style));
        QApplication::setPalette(palette);
    }
    QString style;
    QPalette palette;
};

// The commonest colour of an area (its background) and how far in lightness the pixel that
// stands out most lies from it.
struct AreaColours
{
    QColor background;
    double strongest = 0;
};

AreaColours Measure(const QImage& image, const QRect& area)
{
    std::map<QRgb, int> counts;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            ++counts[image.pixel(x, y)];
    AreaColours colours;
    colours.background = QColor::fromRgb(std::max_element(counts.begin(), counts.end(), [](auto& a, auto& b) {
                                             return a.second < b.second;
                                         })->first);
    for (const auto& [pixel, count] : counts)
        colours.strongest = std::max(colours.strongest, std::abs(double(QColor::fromRgb(pixel).lightnessF()) -
                                                                 colours.background.lightnessF()));
    return colours;
}

QMimeData* FileDrag(const QString& path)
{
    auto* data = new QMimeData;
    data->setUrls({QUrl::fromLocalFile(path)});
    data->setText(QUrl::fromLocalFile(path).toString());
    return data;
}

// Drags the data over the widget and lets it go there, offering a move as file managers do;
// returns the drop as the window answered it.
struct DropAnswer
{
    bool accepted;
    Qt::DropAction action;
};

DropAnswer Drop(QWidget* widget, const QMimeData& data)
{
    const QPoint at = widget->rect().center();
    const Qt::DropActions offered = Qt::CopyAction | Qt::MoveAction;
    QDragEnterEvent enter(at, offered, &data, Qt::LeftButton, {});
    enter.setDropAction(Qt::MoveAction);
    QApplication::sendEvent(widget, &enter);
    if (!enter.isAccepted())
        return {false, Qt::IgnoreAction};
    QDropEvent drop(at, offered, &data, Qt::LeftButton, {});
    drop.setDropAction(Qt::MoveAction);
    QApplication::sendEvent(widget, &drop);
    QApplication::processEvents();
    return {drop.isAccepted(), drop.dropAction()};
}

} // namespace

class DesktopTest : public PaneTest
{
protected:
    QString Status() { return frame->statusBar()->currentMessage(); }
    QToolButton* Button(int id)
    {
        auto* toolbar = frame->findChild<QToolBar*>("toolbar");
        return qobject_cast<QToolButton*>(toolbar->widgetForAction(Action(id)));
    }
    // Opens the menu holding the command from the menu bar and points at the command's item.
    QMenu* PointAt(int id)
    {
        QMenu* menu = MenuOf(id);
        frame->menuBar()->setActiveAction(menu->menuAction());
        menu->setActiveAction(Action(id));
        return menu;
    }

    TempDir dir;
};

TEST_F(DesktopTest, ReadyReturnsWhenAMenuClosesThePointerLeavesTheToolbarAndAfterSort)
{
    OpenNotes({{"b", ""}, {"a", ""}});
    QMenu* menu = PointAt(ID_FILE_NEW);
    EXPECT_EQ(Status(), "Start a new note book.");
    menu->hide();
    EXPECT_EQ(Status(), "Ready");

    QEvent enter(QEvent::Enter);
    QApplication::sendEvent(Button(ID_NEW_NOTE), &enter);
    EXPECT_EQ(Status(), "Add a new note.");
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(Button(ID_NEW_NOTE), &leave);
    EXPECT_EQ(Status(), "Ready");

    menu = PointAt(ID_SORT_NOTES);
    EXPECT_EQ(Status(), "Sort all Notes Alphabetically");
    QTest::keyClick(menu, Qt::Key_Return);
    EXPECT_EQ(ItemText(0), "a") << "the sort ran";
    EXPECT_EQ(Status(), "Ready");

    // A command's own message stays until a prompt replaces it.
    frame->SetMessageText("2 occurrences found.");
    EXPECT_EQ(Status(), "2 occurrences found.");
}

TEST_F(DesktopTest, ListTextReadsOnItsCreamUnderADarkThemeInBothStyles)
{
    ScopedLook look;
    for (const char* style : {"Fusion", "Windows"}) {
        SCOPED_TRACE(style);
        QApplication::setStyle(QStyleFactory::create(style));
        QApplication::setPalette(DarkPalette());
        OpenNotes({{"Groceries and other things", ""}, {"Selected note title", ""}});
        List()->setFocus();
        List()->SelectItem(1);
        QApplication::processEvents();
        const QImage image = List()->viewport()->grab().toImage();
        const auto row = [&](int r) { return List()->visualRect(List()->model()->index(r, 0)); };

        const AreaColours plain = Measure(image, row(0));
        EXPECT_EQ(plain.background, QColor(255, 252, 235));
        EXPECT_GE(plain.strongest, 0.6) << "the title stands out of the cream";
        const AreaColours selected = Measure(image, row(1));
        EXPECT_NE(selected.background, QColor(255, 252, 235)) << "the selection shows";
        EXPECT_GE(selected.strongest, 0.45) << "the selected title stands out of the selection";
    }
}

TEST_F(DesktopTest, ToolbarIconsShowOnLightAndDarkBars)
{
    const QColor light = QApplication::style()->standardPalette().color(QPalette::Window);
    for (QAction* action : frame->findChild<QToolBar*>("toolbar")->actions()) {
        if (action->icon().isNull())
            continue;
        for (const QColor& bar : {light, DarkPalette().color(QPalette::Window)}) {
            QImage image(16, 15, QImage::Format_ARGB32);
            image.fill(bar);
            QPainter painter(&image);
            action->icon().paint(&painter, image.rect());
            painter.end();
            // Pixels whose brightness stands well apart from the bar's.
            int standing = 0;
            for (int y = 0; y < image.height(); ++y)
                for (int x = 0; x < image.width(); ++x)
                    standing += std::abs(qGray(image.pixel(x, y)) - qGray(bar.rgb())) >= 80;
            EXPECT_GE(standing, image.width() * image.height() / 10)
                << action->toolTip().toStdString() << " on " << bar.name().toStdString();
        }
    }
}

TEST_F(DesktopTest, ScreenReadersNameCommandsWithoutTheirKeys)
{
    QAccessibleInterface* button = QAccessible::queryAccessibleInterface(Button(ID_NEW_NOTE));
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->text(QAccessible::Name), "New Note");
    QAccessibleInterface* menu = QAccessible::queryAccessibleInterface(MenuOf(ID_NEW_NOTE));
    ASSERT_NE(menu, nullptr);
    QStringList names;
    for (int i = 0; i < menu->childCount(); ++i)
        names << menu->child(i)->text(QAccessible::Name);
    EXPECT_TRUE(names.contains("New Note")) << names.join('|').toStdString();
    EXPECT_TRUE(names.contains("Delete Note"));
    EXPECT_FALSE(names.join('|').contains('\t'));
}

TEST_F(DesktopTest, TheHostHasTheKeysWithNoNotebookAtStartAndAfterAFailedOpen)
{
    EXPECT_EQ(QApplication::focusWidget(), frame->GetHost());
    OpenNotes({{"a", ""}});
    EXPECT_NE(QApplication::focusWidget(), frame->GetHost());
    frame->CloseBook();
    frame->OpenBook(dir.File("missing.pelm"));
    ASSERT_FALSE(frame->IsBookOpen());
    EXPECT_EQ(QApplication::focusWidget(), frame->GetHost());
}

TEST_F(DesktopTest, ADroppedNotebookOpensAfterThePromptAndIsNeverPasted)
{
    OpenNotes({{"dropped", "kept"}});
    const std::string path = dir.File("dropped.pelm");
    ASSERT_TRUE(book->WriteFile(path));
    OpenNotes({{"mine", "typed"}});
    Activate(0);
    book->SetModified();
    std::unique_ptr<QMimeData> file(FileDrag(QString::fromStdString(path)));

    // On the note's text: Cancel at the prompt keeps everything, and nothing is pasted.
    DropAnswer answer = Drop(Text()->viewport(), *file);
    EXPECT_TRUE(answer.accepted);
    EXPECT_EQ(answer.action, Qt::CopyAction) << "never a move: the file manager would delete it";
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].text, "Do you wish to save your changes?");
    EXPECT_EQ(frame->GetNoteBook(), book);
    EXPECT_EQ(Text()->toPlainText(), "typed");

    // No: the dropped notebook opens as Open opens it.
    boxes.answers.push_back(IDNO);
    Drop(Text()->viewport(), *file);
    ASSERT_TRUE(frame->IsBookOpen());
    EXPECT_EQ(frame->windowTitle(), "Pelmora - dropped");
    EXPECT_EQ(frame->GetNoteBook()->GetNoteAtIndex(0)->GetText(), "kept");

    // On the empty window, and on the search box.
    frame->CloseBook();
    EXPECT_TRUE(Drop(frame->GetHost(), *file).accepted);
    EXPECT_TRUE(frame->IsBookOpen());
    Drop(frame->m_wndSearchBar->Edit(), *file);
    EXPECT_TRUE(frame->m_wndSearchBar->Edit()->text().isEmpty());
}

TEST_F(DesktopTest, OtherFilesAreRefusedAndPlainTextStillDropsIntoTheNote)
{
    OpenNotes({{"a", ""}});
    Activate(0);
    std::unique_ptr<QMimeData> other(FileDrag(QString::fromStdString(dir.File("list.txt"))));
    EXPECT_FALSE(Drop(Text()->viewport(), *other).accepted);
    EXPECT_FALSE(Drop(frame->GetHost(), *other).accepted);
    EXPECT_TRUE(Text()->toPlainText().isEmpty());

    QMimeData text;
    text.setText("dropped words");
    EXPECT_TRUE(Drop(Text()->viewport(), text).accepted);
    EXPECT_EQ(Text()->toPlainText(), "dropped words");
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST(CommandLine, SwitchesAreNeverOpenedAndTheFirstPathIs)
{
    auto parse = [](const QStringList& arguments) {
        CCommandLineInfo info;
        info.ParseCommandLine(QStringList{"pelmora"} + arguments);
        return info;
    };
    EXPECT_TRUE(parse({}).m_strFileName.isEmpty());
    EXPECT_TRUE(parse({"--help"}).m_strFileName.isEmpty());
    EXPECT_TRUE(parse({"--help"}).m_bShowHelp);
    EXPECT_TRUE(parse({"--version"}).m_bShowVersion);
    EXPECT_EQ(parse({"--unknown", "-x", "a.pelm", "b.pelm"}).m_strFileName, "a.pelm");
    EXPECT_EQ(parse({"--", "-odd.pelm"}).m_strFileName, "-odd.pelm");
    EXPECT_FALSE(parse({"--", "--help"}).m_bShowHelp);
    EXPECT_TRUE(parse({"a.pelm"}).SwitchAnswer().isEmpty());
    EXPECT_TRUE(parse({"--help"}).SwitchAnswer().startsWith("Usage: pelmora [NOTEBOOK]"));
    EXPECT_EQ(parse({"--version"}).SwitchAnswer(), "Pelmora 1.2.0.1\n");
}
