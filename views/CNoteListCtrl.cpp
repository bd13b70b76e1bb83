#include "CNoteListCtrl.h"

#include "CCmdUI.h"
#include "CListCtrlEx.h"
#include "CMainFrame.h"
#include "CNoteBook.h"
#include "CNoteEditCtrl.h"
#include "CNoteListModel.h"
#include "CNotePanel.h"
#include "CommandIds.h"
#include "DebugTrace.h"

#include <QAction>
#include <QMenu>

CNoteListCtrl::CNoteListCtrl(QWidget* parent) : QFrame(parent) {}

CNoteListCtrl::~CNoteListCtrl() = default;

CMainFrame* CNoteListCtrl::GetMainFrame() const
{
    if (!m_mainFrame)
        m_mainFrame = CMainFrame::Of(this);
    return m_mainFrame;
}

void CNoteListCtrl::CreateList()
{
    if (m_list)
        return;
    m_model = std::make_unique<CNoteListModel>(
        [this]() -> CNoteBook* {
            const CMainFrame* frame = GetMainFrame();
            return frame ? frame->GetNoteBook() : nullptr;
        },
        [this](int serial) { OnRenamed(serial); });
    m_list = std::make_unique<CListCtrlEx>(this);
    m_list->setModel(m_model.get());
    m_list->setGeometry(contentsRect());
    connect(m_list.get(), &CListCtrlEx::itemActivated, this, &CNoteListCtrl::OnItemActivated);
    connect(m_list.get(), &CListCtrlEx::contextMenuRequested, this, &CNoteListCtrl::OnContextMenu);
    connect(m_list->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        if (CMainFrame* frame = GetMainFrame())
            frame->UpdateCommandStates();
    });
    m_list->show();
}

void CNoteListCtrl::Reload()
{
    if (!m_model)
        return;
    m_model->Refill();
    m_list->viewport()->update();
}

void CNoteListCtrl::resizeEvent(QResizeEvent* event)
{
    QFrame::resizeEvent(event);
    if (m_list)
        m_list->setGeometry(contentsRect());
}

bool CNoteListCtrl::SelectNote(int serial)
{
    const CMainFrame* frame = GetMainFrame();
    const CNoteBook* book = frame ? frame->GetNoteBook() : nullptr;
    if (!m_list || !book)
        return false;
    const std::ptrdiff_t row = book->IndexOf(serial);
    if (row < 0 || row >= m_list->GetItemCount())
        return false;
    m_list->SelectItem(static_cast<int>(row));
    return true;
}

bool CNoteListCtrl::UpdateNoteTitle(int serial)
{
    const CMainFrame* frame = GetMainFrame();
    const CNoteBook* book = frame ? frame->GetNoteBook() : nullptr;
    if (!m_model || !book || !book->FindNote(serial))
        return false;
    return m_model->UpdateRow(serial);
}

int CNoteListCtrl::GetSelectionMark() const
{
    return m_list ? m_list->GetSelectionMark() : -1;
}

int CNoteListCtrl::GetItemSerial(int row) const
{
    return m_list ? m_list->GetItemSerial(row) : -1;
}

void CNoteListCtrl::OnItemActivated(int row)
{
    DebugTrace("Change Note notification received.");
    const int serial = GetItemSerial(row);
    CMainFrame* frame = GetMainFrame();
    if (serial != -1 && frame)
        frame->SetActiveNote(serial, true);
}

// A rename in the list shows at once in the editor's title box when the note is the open one.
void CNoteListCtrl::OnRenamed(int serial)
{
    CMainFrame* frame = GetMainFrame();
    if (!frame)
        return;
    CNote* active = nullptr;
    if (frame->GetActiveNote(&active) && active->GetSerial() == serial)
        frame->GetNotePanel()->m_editPane->SetTitleText(active->GetTitle());
    frame->UpdateCommandStates();
}

void CNoteListCtrl::OnContextMenu(const QPoint& globalPos)
{
    CMainFrame* frame = GetMainFrame();
    if (!frame || GetSelectionMark() == -1)
        return;
    QMenu* menu = frame->GetContextSubMenu(0);
    const QAction* chosen = menu ? menu->exec(globalPos) : nullptr;
    if (!chosen)
        return;
    switch (chosen->data().toInt()) {
    case ID_RENAME_NOTE:
        RenameSelected();
        break;
    case ID_DELETE_NOTE:
        DeleteSelected();
        break;
    default:
        break;
    }
}

void CNoteListCtrl::RenameSelected()
{
    const int row = GetSelectionMark();
    if (row != -1)
        m_list->EditLabel(row);
}

void CNoteListCtrl::DeleteSelected()
{
    if (CMainFrame* frame = GetMainFrame())
        frame->OnDeleteNote();
}

void CNoteListCtrl::MoveSelectedUp()
{
    MoveSelected(true);
}

void CNoteListCtrl::MoveSelectedDown()
{
    MoveSelected(false);
}

// Swaps the selected note with its neighbour, refills the list (which leaves no note open) and
// keeps the moved note selected. The frame's commands mark the notebook modified, not this.
void CNoteListCtrl::MoveSelected(bool up)
{
    CMainFrame* frame = GetMainFrame();
    const int row = GetSelectionMark();
    if (!frame || !frame->GetNoteBook() || row == -1)
        return;
    if (up ? row == 0 : row >= m_list->GetItemCount() - 1)
        return;
    frame->GetNoteBook()->MoveNote(GetItemSerial(row), up);
    frame->GetNotePanel()->ReloadNoteList();
    m_list->SelectItem(up ? row - 1 : row + 1);
}

void CNoteListCtrl::OnUpdateMoveUp(CCmdUI* cmdUI) const
{
    cmdUI->Enable(GetSelectionMark() != -1);
}

void CNoteListCtrl::OnUpdateMoveDown(CCmdUI* cmdUI) const
{
    cmdUI->Enable(GetSelectionMark() != -1);
}
