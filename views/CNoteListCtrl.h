#pragma once

#include <QFrame>

#include <memory>

class CListCtrlEx;
class CNoteListModel;
class CNotePanel;

// The note list pane, the left pane of the note panel: the titles of the open notebook in
// notebook order. Activating an item opens its note; the context menu renames and deletes the
// selected note. It never adds or removes items itself: the panel refills it after every change
// of order or membership.
class CNoteListCtrl : public QFrame
{
    Q_OBJECT

public:
    explicit CNoteListCtrl(CNotePanel& panel);
    ~CNoteListCtrl() override;

    // Makes the list control; does nothing when it exists.
    void CreateList();
    // Takes the owner's list font.
    void ApplyFont();
    // Refills the list from the notebook; every item is new, none is selected.
    void Reload();
    CListCtrlEx* GetListCtrl() const { return m_list.get(); }

    // Selects the item of this note; false when none shows it.
    bool SelectNote(int serial);
    // Shows the note's current title in its item; false when there is no such note or item.
    bool UpdateNoteTitle(int serial);
    int GetSelectionMark() const;
    int GetItemSerial(int row) const;
    // Starts editing the selected item's label.
    void RenameSelected();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void OnItemActivated(int row);
    void OnContextMenu(const QPoint& globalPos);
    void OnRenamed(int serial);

    CNotePanel& m_panel;
    std::unique_ptr<CNoteListModel> m_model;
    std::unique_ptr<CListCtrlEx> m_list;
};
