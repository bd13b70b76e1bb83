#pragma once

#include "text/CFindAll.h"
#include "text/CReplaceAll.h"

#include <QPointer>
#include <QWidget>

#include <functional>

class CFindAllPane;
class CNotePanel;
class QLineEdit;
class QPushButton;

// The Replace row of the Find All pane: the replacement text and its three buttons. Replace
// changes the occurrence the results show as current, in the note's text box, where Undo takes it
// back; Replace in Note and Replace All change the notes themselves as one step that Undo Replace
// All takes back, the open note's unsaved typing included. Replace All goes a few milliseconds at
// a time behind a progress bar whose Cancel puts every note back.
class CReplaceRow : public QWidget
{
    Q_OBJECT

public:
    explicit CReplaceRow(CFindAllPane& pane);

    QLineEdit* GetReplaceBox() const { return m_replaceBox; }
    QPushButton* GetReplaceButton() const { return m_replace; }
    QPushButton* GetReplaceInNoteButton() const { return m_replaceInNote; }
    QPushButton* GetReplaceAllButton() const { return m_replaceAll; }

    void ReplaceCurrent();
    void ReplaceInNote();
    // Asks first, saying how many occurrences in how many notes.
    void ReplaceAll();
    bool CanUndo() const { return m_step.CanUndo(); }
    void UndoReplaceAll();
    // The notebook went away or another came: nothing of the last step applies.
    void Forget() { m_step.Forget(); }

signals:
    // Undo Replace All became possible or impossible.
    void UndoChanged();

private:
    // The results complete, found behind a progress bar when they are not; false as the pane's.
    bool EnsureResults();
    // The result the list shows as current, or the first when none is.
    bool CurrentOccurrence(std::int32_t& serial, FindAllOccurrence& occurrence) const;
    // Replaces in these notes (every listed one when empty) as one step.
    void ReplaceInNotes(const std::vector<std::int32_t>& serials);
    // Runs step (replacing or putting back in that many notes, true while some are left) slice
    // by slice behind a progress bar; false when the user cancelled or the notebook went away.
    bool RunInSlices(const QPointer<CNotePanel>& panel, const QString& text, bool cancellable,
                     const std::function<bool(std::size_t)>& step);
    // False, the step forgotten, when the notebook went away meanwhile.
    bool IsStillOn(const QPointer<CNotePanel>& panel);
    // The notes changed under the editor and the list: both show them again.
    void ShowChanged(const std::vector<std::int32_t>& serials);

    CFindAllPane& m_pane;
    QLineEdit* m_replaceBox;
    QPushButton* m_replace;
    QPushButton* m_replaceInNote;
    QPushButton* m_replaceAll;
    CReplaceAll m_step;
};
