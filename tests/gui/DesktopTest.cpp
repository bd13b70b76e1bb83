#include "app/CCommandLineInfo.h"
#include "app/CHostWnd.h"
#include "platform/qt/CSliceProgress.h"
#include "support/PaneFixture.h"
#include "support/TempDir.h"
#include "views/CSearchBar.h"

#include <QAccessible>
#include <QMenuBar>
#include <QMimeData>
#include <QPainter>
#include <QStatusBar>
#include <QStyleFactory>
#include <QTest>
#include <QToolBar>
#include <QToolButton>

namespace {

QPalette DarkPalette()
{
    QPalette dark(QColor(53, 53, 53));
    dark.setColor(QPalette::WindowText, Qt::white);
    dark.setColor(QPalette::Base, QColor(42, 42, 42));
    dark.setColor(QPalette::Text, Qt::white);
    dark.setColor(QPalette::Highlight, QColor(42, 130, 218));
    dark.setColor(QPalette::HighlightedText, Qt::white);
    return dark;
}

// How far in lightness the pixel of the area that stands out most lies from its background,
// taken at the area's right end, past the text.
double Standout(const QImage& image, const QRect& area, QColor* background)
{
    *background = image.pixelColor(area.right() - 2, area.center().y());
    double strongest = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            strongest = std::max(
                strongest, double(std::abs(image.pixelColor(x, y).lightnessF() - background->lightnessF())));
    return strongest;
}

// Drags the data onto the widget and lets it go there, offering a move as file managers do; the
// action the drop was taken with, or none. What the drop set off is left to the events.
Qt::DropAction SendDrop(QWidget* widget, const QMimeData& data)
{
    const QPoint at = widget->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, {});
    QApplication::sendEvent(widget, &enter);
    if (!enter.isAccepted())
        return Qt::IgnoreAction;
    QDropEvent drop(at, Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, {});
    drop.setDropAction(Qt::MoveAction);
    QApplication::sendEvent(widget, &drop);
    return drop.isAccepted() ? drop.dropAction() : Qt::IgnoreAction;
}

Qt::DropAction Drop(QWidget* widget, const QMimeData& data)
{
    const Qt::DropAction action = SendDrop(widget, data);
    QApplication::processEvents();
    return action;
}

std::unique_ptr<QMimeData> FileDrag(const std::string& path)
{
    auto data = std::make_unique<QMimeData>();
    data->setUrls({QUrl::fromLocalFile(QString::fromStdString(path))});
    data->setText(data->urls().first().toString());
    return data;
}

} // namespace

class DesktopTest : public PaneTest
{
protected:
    QString Status() { return frame->statusBar()->currentMessage(); }
    QToolBar* ToolBar() { return frame->findChild<QToolBar*>("toolbar"); }
    // Opens the command's menu from the menu bar and points at the command.
    QMenu* PointAt(int id)
    {
        QMenu* menu = MenuOf(id);
        frame->menuBar()->setActiveAction(menu->menuAction());
        menu->setActiveAction(Action(id));
        return menu;
    }

    TempDir dir;
};

TEST_F(DesktopTest, ReadyWhenAMenuClosesThePointerLeavesTheToolbarAndAfterSort)
{
    OpenNotes({{"b", ""}, {"a", ""}});
    QMenu* menu = PointAt(ID_FILE_NEW);
    EXPECT_EQ(Status(), "Start a new note book.");
    menu->hide();
    EXPECT_EQ(Status(), "Ready");

    QWidget* button = ToolBar()->widgetForAction(Action(ID_NEW_NOTE));
    QEvent enter(QEvent::Enter), leave(QEvent::Leave);
    QApplication::sendEvent(button, &enter);
    EXPECT_EQ(Status(), "Add a new note.");
    QApplication::sendEvent(button, &leave);
    EXPECT_EQ(Status(), "Ready");

    menu = PointAt(ID_SORT_NOTES);
    QTest::keyClick(menu, Qt::Key_Return);
    EXPECT_EQ(ItemText(0), "a") << "the sort ran";
    EXPECT_EQ(Status(), "Ready");
}

TEST_F(DesktopTest, ListTextReadsOnItsCreamUnderADarkThemeInBothStyles)
{
    const QPalette palette = QApplication::palette();
    for (const char* style : {"Windows", "Fusion"}) {
        SCOPED_TRACE(style);
        QApplication::setStyle(QStyleFactory::create(style));
        QApplication::setPalette(DarkPalette());
        OpenNotes({{"Groceries and other things", ""}, {"Selected title", ""}});
        List()->setFocus();
        List()->SelectItem(1);
        const QImage image = List()->viewport()->grab().toImage();
        const auto row = [&](int r) { return List()->visualRect(List()->model()->index(r, 0)); };
        QColor background;
        EXPECT_GE(Standout(image, row(0), &background), 0.6) << "the title stands out of the cream";
        EXPECT_EQ(background, QColor(255, 252, 235));
        EXPECT_GE(Standout(image, row(1), &background), 0.4) << "the selected title stands out";
        EXPECT_NE(background, QColor(255, 252, 235)) << "the selection shows";
    }
    QApplication::setPalette(palette);
}

TEST_F(DesktopTest, ToolbarIconsShowOnLightAndDarkBars)
{
    const QColor light = QApplication::style()->standardPalette().color(QPalette::Window);
    for (QAction* action : ToolBar()->actions())
        for (const QColor& bar : {light, DarkPalette().color(QPalette::Window)}) {
            if (action->icon().isNull())
                continue;
            QImage image(16, 15, QImage::Format_RGB32);
            image.fill(bar);
            QPainter painter(&image);
            action->icon().paint(&painter, image.rect());
            painter.end();
            int standing = 0; // pixels whose brightness lies well apart from the bar's
            for (int y = 0; y < image.height(); ++y)
                for (int x = 0; x < image.width(); ++x)
                    standing += std::abs(qGray(image.pixel(x, y)) - qGray(bar.rgb())) >= 80;
            EXPECT_GE(standing, 24) << action->toolTip().toStdString() << " on " << bar.name().toStdString();
        }
}

TEST_F(DesktopTest, ScreenReadersNameCommandsWithoutTheirKeys)
{
    QWidget* button = ToolBar()->widgetForAction(Action(ID_NEW_NOTE));
    EXPECT_EQ(QAccessible::queryAccessibleInterface(button)->text(QAccessible::Name), "New Note");
    QAccessibleInterface* menu = QAccessible::queryAccessibleInterface(MenuOf(ID_NEW_NOTE));
    QStringList names;
    for (int i = 0; i < menu->childCount(); ++i)
        names << menu->child(i)->text(QAccessible::Name);
    EXPECT_TRUE(names.contains("Delete Note")) << names.join('|').toStdString();
    EXPECT_FALSE(names.join('|').contains('\t'));
}

TEST_F(DesktopTest, TheHostHasTheKeysWithNoNotebookAtStartAndAfterAFailedOpen)
{
    EXPECT_EQ(QApplication::focusWidget(), frame->GetHost());
    OpenNotes({{"a", ""}});
    frame->CloseBook();
    frame->OpenBook(dir.File("missing.pelm"));
    EXPECT_EQ(QApplication::focusWidget(), frame->GetHost());
}

TEST_F(DesktopTest, ADroppedNotebookOpensAfterThePromptAndIsNeverPasted)
{
    OpenNotes({{"dropped", "kept"}});
    ASSERT_TRUE(book->WriteFile(dir.File("dropped.pelm")));
    OpenNotes({{"mine", "typed"}});
    Activate(0);
    book->SetModified();
    const auto file = FileDrag(dir.File("dropped.pelm"));

    // Cancel at the save prompt.
    EXPECT_EQ(Drop(Text()->viewport(), *file), Qt::CopyAction) << "a move lets the file manager delete it";
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].text, "Do you wish to save your changes?");
    EXPECT_EQ(Text()->toPlainText(), "typed");

    boxes.answers.push_back(IDNO);
    Drop(Text()->viewport(), *file);
    EXPECT_EQ(frame->windowTitle(), "Pelmora - dropped");
    frame->CloseBook();
    {
        // The open would close the notebook a command works on.
        CSliceProgress running(frame.get(), "Saving NoteBook...");
        EXPECT_EQ(Drop(frame->GetHost(), *file), Qt::IgnoreAction) << "refused while a command runs";
    }
    EXPECT_FALSE(frame->IsBookOpen());
    {
        // Taken just before a command began: it waits for the command to end.
        EXPECT_EQ(SendDrop(frame->GetHost(), *file), Qt::CopyAction);
        CSliceProgress running(frame.get(), "Saving NoteBook...");
        QTest::qWait(150);
        EXPECT_FALSE(frame->IsBookOpen());
    }
    QTRY_VERIFY(frame->IsBookOpen());
    frame->CloseBook();
    EXPECT_EQ(Drop(frame->GetHost(), *file), Qt::CopyAction) << "the empty window takes it too";
    EXPECT_TRUE(frame->IsBookOpen());
    Drop(frame->m_wndSearchBar->Edit(), *file);
    EXPECT_TRUE(frame->m_wndSearchBar->Edit()->text().isEmpty());
}

TEST_F(DesktopTest, OtherFilesAreRefusedAndPlainTextStillDropsIntoTheNote)
{
    OpenNotes({{"a", ""}});
    Activate(0);
    EXPECT_EQ(Drop(Text()->viewport(), *FileDrag(dir.File("list.txt"))), Qt::IgnoreAction);
    EXPECT_TRUE(Text()->toPlainText().isEmpty());
    QMimeData text;
    text.setText("dropped words");
    Drop(Text()->viewport(), text);
    EXPECT_EQ(Text()->toPlainText(), "dropped words");
    frame->CloseBook();
    EXPECT_EQ(Drop(frame->GetHost(), *FileDrag(dir.File("sealed.pelmx"))), Qt::CopyAction)
        << "an encrypted notebook is a notebook too";
}

TEST(CommandLine, SwitchesAreNeverOpenedAndTheFirstPathIs)
{
    auto parse = [](std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), "pelmora");
        CCommandLineInfo info;
        info.ParseCommandLine(arguments);
        return info;
    };
    EXPECT_TRUE(parse({"--help", "--unknown", "-x"}).m_strFileName.empty());
    EXPECT_EQ(parse({"-x", "a.pelm", "b.pelm"}).m_strFileName, "a.pelm");
    EXPECT_EQ(parse({"--", "--help"}).m_strFileName, "--help");
    EXPECT_EQ(parse({"bad\xFFname.pelm"}).m_strFileName, "bad\xFFname.pelm") << "names are bytes";
    EXPECT_TRUE(parse({"a.pelm"}).SwitchAnswer().empty());
    EXPECT_EQ(parse({"--help"}).SwitchAnswer().rfind("Usage: pelmora [NOTEBOOK]", 0), 0u);
    EXPECT_NE(parse({"--help"}).SwitchAnswer().find("Reopen Last NoteBook at Start"), std::string::npos)
        << "a start without a file may open one";
    EXPECT_EQ(parse({"--version"}).SwitchAnswer(), "Pelmora 1.2.0.1\n");
}
