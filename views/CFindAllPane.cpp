#include "views/CFindAllPane.h"

#include "model/CNoteBook.h"
#include "platform/qt/CSliceProgress.h"
#include "platform/qt/CountText.h"
#include "text/TextPositions.h"
#include "views/CFindAllDelegate.h"
#include "views/CFindAllModel.h"
#include "views/CListCtrlEx.h"
#include "views/CNoteEditCtrl.h"
#include "views/CNoteListCtrl.h"
#include "views/CNotePanel.h"
#include "views/CReplaceRow.h"
#include "views/CRichEditCtrlEx.h"

#include <QApplication>
#include <QBoxLayout>
#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QShortcut>
#include <QTreeView>

namespace {

// Long enough to find many notes at once, short enough that keys and paints never wait.
constexpr std::chrono::milliseconds kSlice(10);
// How long a search waits for a command running in slices before it looks again.
constexpr int kWaitForCommandMs = 100;

} // namespace

CFindAllPane::CFindAllPane(QLineEdit& searchBox, QWidget* parent) : QWidget(parent), m_searchBox(searchBox)
{
    CreateControls();
    for (QTimer* timer : {&m_typingPause, &m_editPause, &m_nextSlice, &m_rerun})
        timer->setSingleShot(true);
    m_typingPause.setInterval(kPauseMs);
    m_editPause.setInterval(kPauseMs);
    connect(&m_typingPause, &QTimer::timeout, this, &CFindAllPane::SearchWhenFree);
    connect(&m_rerun, &QTimer::timeout, this, &CFindAllPane::SearchWhenFree);
    connect(&m_nextSlice, &QTimer::timeout, this, &CFindAllPane::RunSlice);
    connect(&m_editPause, &QTimer::timeout, this, &CFindAllPane::RefreshPending);
    connect(&m_searchBox, &QLineEdit::textChanged, this, &CFindAllPane::OnBoxEdited);
}

CFindAllPane::~CFindAllPane() = default;

void CFindAllPane::CreateControls()
{
    m_matchCase = new QCheckBox(tr("Match case"), this);
    m_wholeWords = new QCheckBox(tr("Whole words"), this);
    m_regex = new QCheckBox(tr("Regular expression"), this);
    m_message = new QLabel(this);
    m_message->setTextInteractionFlags(Qt::TextSelectableByMouse);
    for (QCheckBox* box : {m_matchCase, m_wholeWords, m_regex})
        connect(box, &QCheckBox::toggled, this, &CFindAllPane::OnOptionToggled);

    m_model = new CFindAllModel(
        [this](const CNote& note, std::string& scratch) { return SearchedText(note, scratch); }, this);
    m_view = new QTreeView(this);
    m_view->setModel(m_model);
    m_view->setAccessibleName(tr("Find All results"));
    m_view->setItemDelegateForColumn(CFindAllModel::LineColumn, new CFindAllDelegate(m_view));
    // Rows of one height let the view lay out a hundred thousand of them at once.
    m_view->setUniformRowHeights(true);
    m_view->setExpandsOnDoubleClick(false);
    m_view->setAllColumnsShowFocus(true);
    m_view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_view->header()->setStretchLastSection(true);
    m_view->header()->resizeSection(CFindAllModel::NoteColumn, 200);
    m_view->header()->resizeSection(CFindAllModel::CountColumn, 90);
    m_view->header()->resizeSection(CFindAllModel::PlaceColumn, 70);
    connect(m_view, &QTreeView::activated, this, &CFindAllPane::OnActivated);
    connect(m_view, &QTreeView::collapsed, m_model, &CFindAllModel::Collapse);

    auto* options = new QHBoxLayout;
    options->addWidget(m_matchCase);
    options->addWidget(m_wholeWords);
    options->addWidget(m_regex);
    options->addSpacing(12);
    options->addWidget(m_message, 1);
    m_replaceRow = new CReplaceRow(*this);
    m_replaceRow->hide();
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 2, 4, 4);
    layout->addLayout(options);
    layout->addWidget(m_replaceRow);
    layout->addWidget(m_view, 1);

    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    escape->setContext(Qt::WidgetWithChildrenShortcut);
    connect(escape, &QShortcut::activated, this, &CFindAllPane::Dismissed);
}

// --- the notebook -------------------------------------------------------------------------------

void CFindAllPane::SetNotePanel(CNotePanel* panel)
{
    if (panel == m_panel)
        return;
    Cancel();
    for (const QMetaObject::Connection& binding : m_bindings)
        disconnect(binding);
    m_bindings.clear();
    m_panel = panel;
    m_replaceRow->Forget();
    m_model->SetNoteBook(panel ? &panel->GetNoteBook() : nullptr);
    if (panel)
        Bind(panel);
    if (isVisible())
        m_rerun.start();
}

// Every slot here only takes note and acts later: a panel going away must not be read.
void CFindAllPane::Bind(CNotePanel* panel)
{
    const QAbstractItemModel* list = panel->GetListPane()->GetListCtrl()->model();
    m_bindings = {
        connect(panel, &QObject::destroyed, this,
                [this] {
                    Cancel();
                    // Forgotten, so that a new panel made at the same address is bound afresh.
                    m_panel = nullptr;
                    m_model->SetNoteBook(nullptr);
                    Say({});
                }),
        connect(panel->GetEditPane(), &CNoteEditCtrl::TextChanged, this, &CFindAllPane::OnTextChanged),
        connect(list, &QAbstractItemModel::modelReset, this, &CFindAllPane::OnNotesReordered),
        connect(list, &QAbstractItemModel::dataChanged, this, &CFindAllPane::OnTitlesChanged),
    };
}

std::string_view CFindAllPane::TextOf(const CNote& note)
{
    if (!m_panel || m_panel->GetActiveNote() != &note)
        return note.GetText();
    CNoteEditCtrl* editor = m_panel->GetEditPane();
    if (!editor->HasPendingText())
        return note.GetText();
    if (m_editorTextStale) {
        m_editorText = editor->GetText();
        m_editorTextStale = false;
    }
    return m_editorText;
}

// A note other than the open one is searched without being read into memory.
std::string_view CFindAllPane::SearchedText(const CNote& note, std::string& scratch)
{
    if (!m_panel || m_panel->GetActiveNote() != &note)
        return note.ReadText(scratch);
    return TextOf(note);
}

// --- searching ----------------------------------------------------------------------------------

void CFindAllPane::FindAll()
{
    Search();
    // From the search box the user types on; from anywhere else the keys walk the results.
    if (QApplication::focusWidget() != &m_searchBox)
        m_view->setFocus(Qt::OtherFocusReason);
}

bool CFindAllPane::IsSearching() const
{
    return m_model->GetSearch().GetState() == CFindAll::State::Running;
}

// A notebook being read aside is filled on a worker meanwhile: it is searched once it is in.
void CFindAllPane::SearchWhenFree()
{
    if (CSliceProgress::IsRunning()) {
        m_rerun.start(kWaitForCommandMs);
        return;
    }
    m_rerun.setInterval(0);
    Search();
}

void CFindAllPane::Search()
{
    Cancel();
    m_editorTextStale = true;
    m_lastSummary.clear();
    m_reported = false;
    const QString text = m_searchBox.text().trimmed();
    if (!m_panel) {
        m_model->Clear();
        Say(tr("Please open a book to search."));
        return;
    }
    if (text.isEmpty()) {
        m_model->Clear();
        Say(tr("Please enter text to search for."));
        return;
    }
    const CTextMatcher::Options options = Options();
    m_searchedText = text;
    m_searchedOptions = options;
    if (!m_model->Start(text.toStdString(), options)) {
        const CTextMatcher& matcher = m_model->GetSearch().GetMatcher();
        const QString where = matcher.GetErrorOffset() < text.toUcs4().size()
                                  ? tr("at character %1").arg(matcher.GetErrorOffset() + 1)
                                  : tr("at its end");
        Say(tr("Error in the regular expression %1: %2")
                .arg(where, QString::fromStdString(matcher.GetError())));
        emit MessageText(m_message->text());
        return;
    }
    Say(tr("Searching..."));
    RunSlice();
}

CNotePanel* CFindAllPane::GetNotePanel() const
{
    return m_panel;
}

CTextMatcher::Options CFindAllPane::Options() const
{
    return {m_matchCase->isChecked(), m_wholeWords->isChecked(), m_regex->isChecked()};
}

bool CFindAllPane::SearchToEnd(const Between& between)
{
    Search();
    while (IsSearching()) {
        RunSlice();
        // Cancelled, the search goes on between events as any other.
        if (between && IsSearching() && !between())
            return false;
    }
    m_nextSlice.stop();
    return m_model->GetSearch().GetState() == CFindAll::State::Finished;
}

// Results of the same search stay, with the user's current row; edits waiting for the pause are
// taken in now.
bool CFindAllPane::EnsureResults(const Between& between)
{
    const CTextMatcher::Options options = Options();
    const bool same =
        m_searchedText == m_searchBox.text().trimmed() && m_searchedOptions.matchCase == options.matchCase &&
        m_searchedOptions.wholeWords == options.wholeWords && m_searchedOptions.regex == options.regex;
    if (!same || m_rerun.isActive() || m_model->GetSearch().GetState() != CFindAll::State::Finished)
        return SearchToEnd(between);
    m_editPause.stop();
    RefreshPending();
    return true;
}

bool CFindAllPane::CompileMatcher(CTextMatcher& matcher) const
{
    return matcher.Compile(m_searchedText.toStdString(), m_searchedOptions);
}

void CFindAllPane::RefreshNote(std::int32_t serial)
{
    m_editorTextStale = true;
    m_model->Refresh(serial);
    ShowOutcome();
}

void CFindAllPane::ShowCurrent()
{
    if (!m_view->currentIndex().isValid() && m_model->rowCount() > 0)
        m_view->setCurrentIndex(m_model->index(0, 0));
    if (m_view->currentIndex().isValid())
        OnActivated(m_view->currentIndex());
}

void CFindAllPane::Report(const QString& text)
{
    Say(text);
    m_lastSummary = text;
    m_reported = true;
    emit MessageText(text);
}

void CFindAllPane::ShowReplace()
{
    m_replaceRow->show();
    if (m_model->rowCount() == 0)
        Search();
    // Nothing to find yet: the search text comes first, as it does in other editors.
    QLineEdit* first = m_searchBox.text().isEmpty() ? &m_searchBox : m_replaceRow->GetReplaceBox();
    first->setFocus(Qt::ShortcutFocusReason);
    first->selectAll();
}

void CFindAllPane::RunSlice()
{
    // The search reads the open note's typing on two threads: it is copied from the editor here,
    // so that they only read.
    if (m_panel && m_panel->GetActiveNote())
        TextOf(*m_panel->GetActiveNote());
    const CFindAll::State state = m_model->Step(CFindAll::Clock::now() + kSlice);
    if (!m_view->currentIndex().isValid() && m_model->rowCount() > 0)
        m_view->setCurrentIndex(m_model->index(0, 0));
    if (state == CFindAll::State::Running)
        m_nextSlice.start();
    else
        ShowOutcome();
}

void CFindAllPane::Cancel()
{
    m_typingPause.stop();
    m_nextSlice.stop();
    m_rerun.stop();
}

void CFindAllPane::Say(const QString& text)
{
    m_message->setText(text);
}

// The outcome in the pane and on the status line; the status line only when it changed, since
// every pause in typing refreshes it.
void CFindAllPane::ShowOutcome()
{
    const CFindAll& search = m_model->GetSearch();
    QString summary;
    switch (search.GetState()) {
    case CFindAll::State::Finished:
        summary =
            search.GetResults().empty()
                ? tr("Nothing found.")
                : tr("%1 in %2.")
                      .arg(CountText(search.GetOccurrenceCount(), tr("1 occurrence"), tr("%1 occurrences")),
                           CountText(search.GetResults().size(), tr("1 note"), tr("%1 notes")));
        break;
    case CFindAll::State::LimitReached: {
        const CNote* note = m_panel ? m_panel->GetNoteBook().FindNote(search.GetStoppedAt()) : nullptr;
        summary = tr("The regular expression ran away on the note \"%1\" and hit the match limit; the "
                     "search stopped there.")
                      .arg(note ? QString::fromStdString(note->GetTitle()) : QString());
        break;
    }
    default:
        return;
    }
    // What a command reported stays until the user searches again.
    if (m_reported)
        return;
    Say(summary);
    if (summary != m_lastSummary)
        emit MessageText(summary);
    m_lastSummary = summary;
}

// --- following the user -------------------------------------------------------------------------

void CFindAllPane::OnBoxEdited()
{
    Cancel();
    if (isVisible())
        m_typingPause.start();
}

void CFindAllPane::OnOptionToggled()
{
    if (isVisible())
        Search();
}

void CFindAllPane::OnNotesReordered()
{
    Cancel();
    m_pending.clear();
    m_model->Clear();
    if (isVisible())
        m_rerun.start();
}

void CFindAllPane::OnTitlesChanged(const QModelIndex& first, const QModelIndex& last)
{
    for (int row = first.row(); row <= last.row(); ++row)
        m_pending.push_back(first.sibling(row, 0).data(Qt::UserRole).toInt());
    if (isVisible())
        m_editPause.start();
}

void CFindAllPane::OnTextChanged()
{
    m_editorTextStale = true;
    m_activeEdited = true;
    if (isVisible())
        m_editPause.start();
}

void CFindAllPane::RefreshPending()
{
    if (!m_panel)
        return;
    if (m_activeEdited && m_panel->GetActiveNote())
        m_pending.push_back(m_panel->GetActiveNote()->GetSerial());
    m_activeEdited = false;
    for (const std::int32_t serial : m_pending)
        m_model->Refresh(serial);
    m_pending.clear();
    ShowOutcome();
}

void CFindAllPane::hideEvent(QHideEvent* event)
{
    Cancel();
    m_editPause.stop();
    QWidget::hideEvent(event);
}

// --- going there --------------------------------------------------------------------------------

void CFindAllPane::OnActivated(const QModelIndex& index)
{
    std::int32_t serial = 0;
    FindAllOccurrence occurrence{};
    if (m_panel && m_model->OccurrenceAt(index, serial, occurrence))
        Show(serial, occurrence);
}

// A text occurrence is selected in the note's text; a title occurrence is selected in its title
// box, which keeps no focus, so leaving it stores nothing, and the typing goes to the text.
void CFindAllPane::Show(std::int32_t serial, const FindAllOccurrence& occurrence)
{
    m_panel->SetActiveNote(serial, false);
    const CNote* note = m_panel->GetActiveNote();
    CNoteEditCtrl* editor = m_panel->GetEditPane();
    if (!note || note->GetSerial() != serial || !editor->GetTextCtrl())
        return;
    if (occurrence.InTitle()) {
        const std::string& title = note->GetTitle();
        const int start = CharFromByteOffset(title, occurrence.start);
        editor->GetTitleBox()->setSelection(start, CharFromByteOffset(title, occurrence.end) - start);
        editor->GetTextCtrl()->SelectAndScroll(0, 0);
        return;
    }
    const std::string_view text = TextOf(*note);
    editor->GetTextCtrl()->SelectAndScroll(CharFromByteOffset(text, occurrence.start),
                                           CharFromByteOffset(text, occurrence.end));
}
