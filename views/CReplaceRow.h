#pragma once

#include "text/CFindAll.h"
#include "text/CReplaceAll.h"

#include <QWidget>

class CFindAllPane;
class QLineEdit;
class QPushButton;

// The Replace row of the Find All pane: the replacement text and its three buttons. Replace
// changes the occurrence the results show as current, in the note's text box, where Undo takes it
// back; Replace in Note and Replace All change the notes themselves as one step that Undo Replace
// All takes back, the open note's unsaved typing included.
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
    // The result the list shows as current, or the first when none is.
    bool CurrentOccurrence(std::int32_t& serial, FindAllOccurrence& occurrence) const;
    // Replaces in these notes (every listed one when empty) as one step.
    void ReplaceInNotes(const std::vector<std::int32_t>& serials);
    // The notes changed under the editor and the list: both show them again.
    void ShowChanged(const std::vector<std::int32_t>& serials);

    CFindAllPane& m_pane;
    QLineEdit* m_replaceBox;
    QPushButton* m_replace;
    QPushButton* m_replaceInNote;
    QPushButton* m_replaceAll;
    CReplaceAll m_step;
};
