#include "views/CReplaceRow.h"

#include "model/CNoteBook.h"
#include "platform/MessageBox.h"
#include "platform/qt/CSliceProgress.h"
#include "platform/qt/CountText.h"
#include "text/TextPositions.h"
#include "views/CFindAllModel.h"
#include "views/CFindAllPane.h"
#include "views/CListCtrlEx.h"
#include "views/CNoteEditCtrl.h"
#include "views/CNoteListCtrl.h"
#include "views/CNotePanel.h"
#include "views/CRichEditCtrlEx.h"

#include <QBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeView>

#include <algorithm>

CReplaceRow::CReplaceRow(CFindAllPane& pane)
    : QWidget(&pane), m_pane(pane), m_replaceBox(new QLineEdit(this)),
      m_replace(new QPushButton(tr("&Replace"), this)),
      m_replaceInNote(new QPushButton(tr("Replace &in Note"), this)),
      m_replaceAll(new QPushButton(tr("Replace &All"), this))
{
    auto* label = new QLabel(tr("Replace &with:"), this);
    label->setBuddy(m_replaceBox);
    m_replaceBox->setObjectName("replaceBox");
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(label);
    layout->addWidget(m_replaceBox, 1);
    for (QPushButton* button : {m_replace, m_replaceInNote, m_replaceAll}) {
        button->setAutoDefault(false);
        layout->addWidget(button);
    }
    connect(m_replace, &QPushButton::clicked, this, &CReplaceRow::ReplaceCurrent);
    connect(m_replaceInNote, &QPushButton::clicked, this, &CReplaceRow::ReplaceInNote);
    connect(m_replaceAll, &QPushButton::clicked, this, &CReplaceRow::ReplaceAll);
    connect(m_replaceBox, &QLineEdit::returnPressed, this, &CReplaceRow::ReplaceCurrent);
}

// The occurrence the results show as current is replaced in the text box, as if typed over, and
// the next one is shown.
void CReplaceRow::ReplaceCurrent()
{
    CNotePanel* panel = m_pane.GetNotePanel();
    if (!panel || !EnsureResults())
        return;
    std::int32_t serial = 0;
    FindAllOccurrence occurrence{};
    if (!CurrentOccurrence(serial, occurrence))
        return;
    CTextMatcher matcher;
    if (!m_pane.CompileMatcher(matcher))
        return;
    CTextReplacer replacer(matcher, m_replaceBox->text().toStdString());
    m_pane.ShowOccurrence(serial, occurrence);
    CNote* note = panel->GetActiveNote();
    CNoteEditCtrl* editor = panel->GetEditPane();
    if (!note || note->GetSerial() != serial || !editor->GetTextCtrl())
        return;
    std::string replacement;
    if (occurrence.InTitle()) {
        std::string title = note->GetTitle();
        if (!replacer.ReplacementAt(title, occurrence.start, replacement))
            return;
        title.replace(occurrence.start, occurrence.end - occurrence.start, replacement);
        note->SetTitle(title);
        editor->SetTitleText(title);
        panel->GetListPane()->UpdateNoteTitle(serial);
        panel->GetNoteBook().SetModified();
    } else {
        if (!replacer.ReplacementAt(m_pane.TextOfNote(*note), occurrence.start, replacement))
            return;
        editor->GetTextCtrl()->InsertText(QString::fromStdString(replacement));
    }
    m_pane.RefreshNote(serial);
    m_pane.ShowCurrent();
}

void CReplaceRow::ReplaceInNote()
{
    CNotePanel* panel = m_pane.GetNotePanel();
    if (!panel || !EnsureResults())
        return;
    std::int32_t serial = 0;
    FindAllOccurrence occurrence{};
    if (CurrentOccurrence(serial, occurrence))
        ReplaceInNotes({serial});
}

bool CReplaceRow::CurrentOccurrence(std::int32_t& serial, FindAllOccurrence& occurrence) const
{
    QModelIndex current = m_pane.GetView()->currentIndex();
    if (!current.isValid())
        current = m_pane.GetModel()->index(0, 0);
    return m_pane.GetModel()->OccurrenceAt(current, serial, occurrence);
}

void CReplaceRow::ReplaceAll()
{
    if (!m_pane.GetNotePanel() || !EnsureResults())
        return;
    const CFindAll& search = m_pane.GetModel()->GetSearch();
    if (search.GetResults().empty())
        return;
    const QString question =
        tr("Replace %1 in %2?")
            .arg(CountText(search.GetOccurrenceCount(), tr("1 occurrence"), tr("%1 occurrences")),
                 CountText(search.GetResults().size(), tr("1 note"), tr("%1 notes")));
    if (AfxMessageBox(question.toStdString(), MB_YESNO | MB_ICONQUESTION) != IDYES)
        return;
    std::vector<std::int32_t> serials;
    serials.reserve(search.GetResults().size());
    for (const FindAllResult& result : search.GetResults())
        serials.push_back(result.serial);
    ReplaceInNotes(serials);
}

void CReplaceRow::ReplaceInNotes(const std::vector<std::int32_t>& serials)
{
    const QPointer<CNotePanel> panel = m_pane.GetNotePanel();
    CTextMatcher matcher;
    if (!panel || serials.empty() || !m_pane.CompileMatcher(matcher))
        return;
    // The open note's typing is replaced with the rest and comes back with Undo.
    panel->StoreActiveText();
    CTextReplacer replacer(matcher, m_replaceBox->text().toStdString());
    CNoteBook& book = panel->GetNoteBook();
    m_step.Start(book, serials);
    const bool done = RunInSlices(panel, tr("Replacing..."), true,
                                  [&](std::size_t notes) { return m_step.Continue(book, replacer, notes); });
    if (!IsStillOn(panel))
        return;
    if (!done) {
        m_step.StartUndo(book);
        RunInSlices(panel, tr("Cancelling..."), false,
                    [&](std::size_t notes) { return m_step.ContinueUndo(book, notes); });
        if (!IsStillOn(panel))
            return;
        std::size_t skipped = 0;
        m_step.FinishUndo(book, skipped);
        // Titles were painted as they changed.
        panel->GetListPane()->GetListCtrl()->viewport()->update();
        m_pane.Report(tr("Replace All cancelled; no note was changed."));
        return;
    }
    const CReplaceAll::Outcome outcome = m_step.Finish(book);
    ShowChanged(serials);
    QString said = tr("Replaced %1 in %2.")
                       .arg(CountText(outcome.occurrences, tr("1 occurrence"), tr("%1 occurrences")),
                            CountText(outcome.notes, tr("1 note"), tr("%1 notes")));
    if (outcome.stoppedAt >= 0)
        said += ' ' + tr("The regular expression ran away on a note and hit the match limit; the notes "
                         "after it were left as they were.");
    m_pane.Report(said);
    emit UndoChanged();
}

// A search still under way is finished behind a progress bar of its own.
bool CReplaceRow::EnsureResults()
{
    CSliceProgress progress(this, tr("Searching..."));
    return m_pane.EnsureResults([&progress] { return progress.Step(0, 0); }) && m_pane.GetNotePanel();
}

// A notebook closed while the events ran took the step with it.
bool CReplaceRow::IsStillOn(const QPointer<CNotePanel>& panel)
{
    if (panel && m_pane.GetNotePanel() == panel)
        return true;
    m_step.Forget();
    return false;
}

bool CReplaceRow::RunInSlices(const QPointer<CNotePanel>& panel, const QString& text, bool cancellable,
                              const std::function<bool(std::size_t)>& step)
{
    CSliceProgress progress(this, text, cancellable);
    while (step(1)) {
        if (!progress.Step(m_step.GetDone(), m_step.GetTotal()))
            return false;
        if (!panel || m_pane.GetNotePanel() != panel)
            return false;
    }
    return true;
}

void CReplaceRow::UndoReplaceAll()
{
    const QPointer<CNotePanel> panel = m_pane.GetNotePanel();
    if (!panel || !m_step.CanUndo())
        return;
    panel->StoreActiveText();
    CNoteBook& book = panel->GetNoteBook();
    m_step.StartUndo(book);
    RunInSlices(panel, tr("Undoing Replace All..."), false,
                [&](std::size_t notes) { return m_step.ContinueUndo(book, notes); });
    if (!IsStillOn(panel))
        return;
    std::size_t skipped = 0;
    const std::vector<std::int32_t> restored = m_step.FinishUndo(book, skipped);
    ShowChanged(restored);
    QString said =
        tr("Replace All taken back in %1.").arg(CountText(restored.size(), tr("1 note"), tr("%1 notes")));
    if (skipped > 0)
        said += ' ' + CountText(skipped, tr("1 note changed since was left as it is."),
                                tr("%1 notes changed since were left as they are."));
    m_pane.Report(said);
    emit UndoChanged();
}

// Titles are read from the notebook when painted; the open note is shown afresh from its note,
// which holds its typing by now, and the results are found again.
void CReplaceRow::ShowChanged(const std::vector<std::int32_t>& serials)
{
    CNotePanel* panel = m_pane.GetNotePanel();
    panel->GetListPane()->GetListCtrl()->viewport()->update();
    if (CNote* active = panel->GetActiveNote();
        active && std::find(serials.begin(), serials.end(), active->GetSerial()) != serials.end()) {
        panel->GetEditPane()->SetTitleText(active->GetTitle());
        panel->SetActiveNote(active->GetSerial(), true);
    }
    // Found again a slice at a time, as any search.
    m_pane.FindAgain();
}
