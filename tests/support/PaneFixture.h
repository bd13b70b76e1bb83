#pragma once

#include "app/CommandIds.h"
#include "support/FrameFixture.h"
#include "views/CListCtrlEx.h"
#include "views/CNoteEditCtrl.h"
#include "views/CNoteListCtrl.h"
#include "views/CNotePanel.h"
#include "views/CRichEditCtrlEx.h"

#include <QContextMenuEvent>
#include <QLineEdit>
#include <QPointer>
#include <QTimer>

#include <string>
#include <utility>
#include <vector>

// The real frame with a new notebook of given notes, and the panes driven by keys and mouse.
class PaneTest : public FrameTest
{
protected:
    using Notes = std::vector<std::pair<std::string, std::string>>;

    void SetUp() override
    {
        FrameTest::SetUp();
        frame->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(frame.get()));
    }

    // A new notebook holding these notes (title, text), first to last, listed and none open.
    void OpenNotes(const Notes& notes)
    {
        ASSERT_TRUE(frame->GetRouter().Run(ID_FILE_NEW));
        book = frame->GetNoteBook();
        ASSERT_NE(book, nullptr);
        serials.clear();
        for (const auto& [title, text] : notes) {
            CNote* note = book->AddNote(true, false);
            note->SetTitle(title);
            note->SetText(text);
            serials.push_back(note->GetSerial());
        }
        frame->GetNotePanel()->ReloadNoteList();
        QApplication::processEvents();
    }

    CNoteListCtrl* ListPane() { return frame->GetNotePanel()->GetListPane(); }
    CListCtrlEx* List() { return ListPane()->GetListCtrl(); }
    CNoteEditCtrl* Editor() { return frame->GetNotePanel()->GetEditPane(); }
    CRichEditCtrlEx* Text() { return Editor()->GetTextCtrl(); }
    QLineEdit* TitleBox() { return Editor()->GetTitleBox(); }
    CNote* Active()
    {
        CNote* note = nullptr;
        frame->GetActiveNote(&note);
        return note;
    }
    void CaretToEnd() { Text()->SetSelection(Text()->GetTextLength(), Text()->GetTextLength()); }
    void CaretToStart() { Text()->SetSelection(0, 0); }
    QString ItemText(int row) { return List()->model()->index(row, 0).data().toString(); }

    QPoint RowCenter(int row) { return List()->visualRect(List()->model()->index(row, 0)).center(); }
    void Click(int row) { QTest::mouseClick(List()->viewport(), Qt::LeftButton, {}, RowCenter(row)); }
    // Press, release, the double click and its release, as the window system delivers them.
    void DoubleClick(int row)
    {
        QWidget* viewport = List()->viewport();
        const QPoint at = RowCenter(row);
        QTest::mouseClick(viewport, Qt::LeftButton, {}, at);
        QTest::mouseDClick(viewport, Qt::LeftButton, {}, at);
        QTest::mouseRelease(viewport, Qt::LeftButton, {}, at);
    }

    // Opens a note the way the user does, and waits until a rename a click may have started is off.
    void Activate(int row)
    {
        DoubleClick(row);
        QTest::qWait(QApplication::doubleClickInterval() + 50);
    }

    // The editor of the label being edited; closed ones linger until deleted later.
    QLineEdit* LabelEditor()
    {
        const QModelIndex current = List()->currentIndex();
        return current.isValid() ? qobject_cast<QLineEdit*>(List()->indexWidget(current)) : nullptr;
    }

    // Sends a context menu request to the widget and picks the entry with this text from the
    // pop-up that shows; false when no pop-up showed.
    bool ChooseFromContextMenu(QWidget* widget, const QPoint& pos, const QString& entry)
    {
        bool shown = false;
        QTimer::singleShot(0, [&] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            if (!menu)
                return;
            shown = true;
            for (QAction* action : menu->actions())
                if (action->text() == entry)
                    menu->setActiveAction(action);
            QTest::keyClick(menu, Qt::Key_Return);
        });
        QContextMenuEvent event(QContextMenuEvent::Mouse, pos, widget->mapToGlobal(pos));
        QApplication::sendEvent(widget, &event);
        QApplication::processEvents();
        return shown;
    }

    CNoteBook* book = nullptr;
    std::vector<int> serials;
};
