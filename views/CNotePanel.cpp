#include "views/CNotePanel.h"

#include "model/CNoteBook.h"
#include "platform/DebugTrace.h"
#include "platform/MessageBox.h"
#include "platform/qt/CCmdUI.h"
#include "platform/qt/CSliceProgress.h"
#include "text/CNoteSearch.h"
#include "text/TextPositions.h"
#include "views/CGoToNoteBox.h"
#include "views/CListCtrlEx.h"
#include "views/CNoteEditCtrl.h"
#include "views/CNoteListCtrl.h"
#include "views/CRichEditCtrlEx.h"
#include "views/INotePanelOwner.h"

#include <algorithm>
#include <functional>

namespace {

// From this many notes Sort finds its order on a worker.
constexpr std::size_t kSortAsideFrom = 50000;

// Plain containers with a thin edge, gray wherever their controls leave room.
void StylePane(QFrame& pane)
{
    pane.setFrameStyle(QFrame::Panel | QFrame::Sunken);
    pane.setLineWidth(1);
    pane.setAutoFillBackground(true);
    QPalette gray = pane.palette();
    gray.setColor(QPalette::Window, QColor(150, 150, 150));
    pane.setPalette(gray);
}

} // namespace

// The panes exist from the start, so the owner's update rules can always ask them.
CNotePanel::CNotePanel(CNoteBook& book, INotePanelOwner& owner)
    : CPaneSplitter(2, Orientation::SideBySide, 100, 5), m_book(book), m_owner(owner),
      m_listPane(std::make_unique<CNoteListCtrl>(*this)), m_editPane(std::make_unique<CNoteEditCtrl>(*this))
{
}

CNotePanel::~CNotePanel() = default;

bool CNotePanel::Create(QWidget* host)
{
    setParent(host);
    StylePane(*m_listPane);
    StylePane(*m_editPane);
    CreatePane(0, m_listPane.get());
    CreatePane(1, m_editPane.get());
    m_listPane->CreateList();
    SetPaneWeights({3, 10});
    setGeometry(host->contentsRect());
    show();
    setFocus(Qt::OtherFocusReason);
    return true;
}

void CNotePanel::SetActiveNote(int serial, bool force)
{
    DebugTrace("Setting Active Note to %d...", serial);
    if (m_pActiveNote) {
        if (!force && m_pActiveNote->GetSerial() == serial)
            return;
        m_editPane->SaveText();
        m_editPane->CloseNote();
        update();
    }
    m_pActiveNote = serial == -1 ? nullptr : m_book.FindNote(serial);
    if (m_pActiveNote) {
        m_listPane->SelectNote(serial);
        m_editPane->OpenNote(m_pActiveNote);
    }
    m_owner.UpdateCommandStates();
}

void CNotePanel::StoreActiveText()
{
    if (m_pActiveNote)
        m_editPane->SaveText();
}

void CNotePanel::ReloadNoteList()
{
    SetActiveNote(-1, true);
    m_listPane->Reload();
    m_owner.UpdateCommandStates();
}

void CNotePanel::UpdateEditorFont()
{
    m_editPane->ApplyFonts();
}

void CNotePanel::NewNote()
{
    m_book.AddNote(false, true);
    ReloadNoteList();
}

void CNotePanel::RenameSelected()
{
    m_listPane->RenameSelected();
}

void CNotePanel::DeleteSelected()
{
    const int mark = m_listPane->GetSelectionMark();
    if (mark == -1)
        return;
    const int serial = m_listPane->GetItemSerial(mark);
    SetActiveNote(-1, true);
    m_book.RemoveNote(serial);
    ReloadNoteList();
}

// Swaps the selected note with its neighbour, refills the list (which leaves no note open) and
// keeps the moved note selected.
void CNotePanel::MoveSelected(bool up)
{
    const int row = m_listPane->GetSelectionMark();
    MoveRow(row, up ? row - 1 : row + 1);
}

// The notebook is marked modified even when nothing can move, as by the commands.
void CNotePanel::MoveRow(int from, int to)
{
    m_book.SetModified();
    const int count = m_listPane->GetListCtrl()->GetItemCount();
    if (from < 0 || from >= count)
        return;
    to = std::clamp(to, 0, count - 1);
    if (to == from)
        return;
    const int serial = m_listPane->GetItemSerial(from);
    for (int row = from; row != to; row += to > from ? 1 : -1)
        m_book.MoveNote(serial, to < from);
    ReloadNoteList();
    m_listPane->GetListCtrl()->SelectItem(to);
}

void CNotePanel::OnUpdateMoveSelected(CCmdUI* cmdUI) const
{
    cmdUI->Enable(m_listPane->GetSelectionMark() != -1);
}

// A million titles take longer to sort than a frame: the order is found aside, the window painting.
void CNotePanel::SortNotes()
{
    if (m_book.GetCount() < kSortAsideFrom) {
        m_book.SortByTitle();
    } else {
        CSliceProgress progress(this, tr("Sorting..."));
        const bool sorted = m_book.SortByTitle([&progress](const std::function<bool()>& findOrder) {
            return progress.RunAside([&findOrder](const CSliceProgress::Report&) { return findOrder(); }) &&
                   !progress.WasCancelled();
        });
        if (!sorted)
            return;
    }
    ReloadNoteList();
}

void CNotePanel::GoToNote()
{
    if (!m_goToBox) {
        m_goToBox = new CGoToNoteBox(m_book, this);
        connect(m_goToBox, &CGoToNoteBox::NoteChosen, this, [this](int serial) {
            SetActiveNote(serial, true);
            if (m_pActiveNote)
                m_editPane->GetTextCtrl()->setFocus(Qt::OtherFocusReason);
        });
    }
    m_goToBox->Open(QRect(m_listPane->mapTo(this, QPoint(0, 0)), m_listPane->size()));
}

void CNotePanel::UndoChanges()
{
    if (m_pActiveNote)
        m_editPane->RestoreText(m_pActiveNote->GetText());
}

void CNotePanel::FindNext(CNoteSearch& search, const std::string& text)
{
    if (text.empty()) {
        AfxMessageBox("Please enter text to search for.", MB_OK | MB_ICONINFORMATION);
        return;
    }
    StoreActiveText();
    const int count = search.Search(&m_book, text);
    if (count <= 0) {
        AfxMessageBox("Nothing found.", MB_OK | MB_ICONINFORMATION);
        return;
    }
    m_owner.SetMessageText(QString("%1 occurrences found.").arg(count));
    const SearchHit* hit = search.GetCurrentHit();
    if (hit && m_book.FindNote(hit->serial))
        ShowSearchHit(*hit, hit->length);
}

void CNotePanel::ShowSearchHit(const SearchHit& hit, int length)
{
    if (hit.kind == SearchHit::Title) {
        SetActiveNote(-1, true);
        m_listPane->GetListCtrl()->setFocus(Qt::OtherFocusReason);
        m_listPane->SelectNote(hit.serial);
        return;
    }
    SetActiveNote(hit.serial, false);
    if (!m_pActiveNote)
        return;
    // Hits count bytes of UTF-8; the text control counts characters.
    const std::string& text = m_pActiveNote->GetText();
    const auto start = static_cast<std::size_t>(hit.position);
    m_editPane->GetTextCtrl()->SelectAndScroll(CharFromByteOffset(text, start),
                                               CharFromByteOffset(text, start + length));
}
