#include "views/CNoteListCtrl.h"

#include "model/CNoteBook.h"
#include "platform/DebugTrace.h"
#include "views/CListCtrlEx.h"
#include "views/CNoteEditCtrl.h"
#include "views/CNoteListModel.h"
#include "views/CNotePanel.h"
#include "views/INotePanelOwner.h"

#include <QAction>
#include <QMenu>

CNoteListCtrl::CNoteListCtrl(CNotePanel& panel) : m_panel(panel) {}

CNoteListCtrl::~CNoteListCtrl() = default;

void CNoteListCtrl::CreateList()
{
    if (m_list)
        return;
    m_model =
        std::make_unique<CNoteListModel>(m_panel.GetNoteBook(), [this](int serial) { OnRenamed(serial); });
    m_list = std::make_unique<CListCtrlEx>(this);
    m_list->setModel(m_model.get());
    m_list->setAccessibleName(tr("Notes"));
    m_list->setGeometry(contentsRect());
    ApplyFont();
    connect(m_list.get(), &CListCtrlEx::itemActivated, this, &CNoteListCtrl::OnItemActivated);
    connect(m_list.get(), &CListCtrlEx::contextMenuRequested, this, &CNoteListCtrl::OnContextMenu);
    connect(m_list.get(), &CListCtrlEx::rowDragged, this,
            [this](int from, int to) { m_panel.MoveRow(from, to); });
    connect(m_list->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { m_panel.GetOwner().UpdateCommandStates(); });
    m_list->show();
}

void CNoteListCtrl::ApplyFont()
{
    if (m_list)
        m_list->setFont(m_panel.GetOwner().GetListFont());
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
    if (!m_list)
        return false;
    const std::ptrdiff_t row = m_panel.GetNoteBook().IndexOf(serial);
    if (row < 0 || row >= m_list->GetItemCount())
        return false;
    m_list->SelectItem(static_cast<int>(row));
    return true;
}

bool CNoteListCtrl::UpdateNoteTitle(int serial)
{
    return m_model && m_model->UpdateRow(serial);
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
    if (serial != -1)
        m_panel.SetActiveNote(serial, true);
}

// A rename in the list shows at once in the editor's title box when the note is the open one.
void CNoteListCtrl::OnRenamed(int serial)
{
    const CNote* active = m_panel.GetActiveNote();
    if (active && active->GetSerial() == serial)
        m_panel.GetEditPane()->SetTitleText(active->GetTitle());
    m_panel.GetOwner().UpdateCommandStates();
}

void CNoteListCtrl::OnContextMenu(const QPoint& globalPos)
{
    if (GetSelectionMark() == -1)
        return;
    QMenu* menu = m_panel.GetOwner().GetContextSubMenu(0);
    const QAction* chosen = menu ? menu->exec(globalPos) : nullptr;
    if (!chosen)
        return;
    switch (static_cast<ContextCommand>(chosen->data().toInt())) {
    case ContextCommand::Rename:
        RenameSelected();
        break;
    case ContextCommand::Delete:
        m_panel.DeleteSelected();
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
