#pragma once

#include "platform/qt/CPaneSplitter.h"

#include <memory>
#include <string>

class CCmdUI;
class CGoToNoteBox;
class CNote;
class CNoteBook;
class CNoteEditCtrl;
class CNoteListCtrl;
class CNoteSearch;
class INotePanelOwner;
struct SearchHit;

// The work area of an open notebook: the note list on the left and the note editor on the right,
// with a bar between them. The panel owns both panes and the choice of the active note, and holds
// the bodies of the note commands. The notebook and the owner outlive it.
class CNotePanel : public CPaneSplitter
{
    Q_OBJECT

public:
    CNotePanel(CNoteBook& book, INotePanelOwner& owner);
    ~CNotePanel() override;

    // Builds the panel inside the host, filling it, and gives it the focus.
    bool Create(QWidget* host);

    CNoteBook& GetNoteBook() const { return m_book; }
    INotePanelOwner& GetOwner() const { return m_owner; }
    CNoteListCtrl* GetListPane() const { return m_listPane.get(); }
    CNoteEditCtrl* GetEditPane() const { return m_editPane.get(); }

    CNote* GetActiveNote() const { return m_pActiveNote; }
    // Stores the open note's typing, closes it and opens the note with this serial (-1: none).
    // Without force, asking for the open note again does nothing.
    void SetActiveNote(int serial, bool force);
    // Copies the editor's typing into the active note, before a search or a save reads it.
    void StoreActiveText();
    // Refills the list from the notebook. No note is active afterwards: the open note's text is
    // stored first.
    void ReloadNoteList();
    // Gives the editor the owner's current fonts.
    void UpdateEditorFont();

    // The note commands.
    void NewNote();
    void RenameSelected();
    void DeleteSelected();
    void MoveSelected(bool up);
    // Moves the note at a row to another one place at a time, as that many Move Up or Move Down
    // would, with one refill of the list; it stays selected.
    void MoveRow(int from, int to);
    void OnUpdateMoveSelected(CCmdUI* cmdUI) const;
    void SortNotes();
    // Opens the Go to Note box over the list.
    void GoToNote();
    CGoToNoteBox* GetGoToBox() const { return m_goToBox; }
    void UndoChanges();
    // One press of Find Next: counts the occurrences of the text in every title and text, typing
    // included, says how many and shows the next one.
    void FindNext(CNoteSearch& search, const std::string& text);
    // A title hit selects the note's item with no note open; a text hit opens the note and
    // selects the length bytes at the hit.
    void ShowSearchHit(const SearchHit& hit, int length);

private:
    CNoteBook& m_book;
    INotePanelOwner& m_owner;
    CNote* m_pActiveNote = nullptr;
    std::unique_ptr<CNoteListCtrl> m_listPane;
    std::unique_ptr<CNoteEditCtrl> m_editPane;
    CGoToNoteBox* m_goToBox = nullptr; // a child, made when first asked for
};
