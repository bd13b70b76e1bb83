#pragma once

#include <QAbstractListModel>

#include <functional>

class CNote;
class CNoteBook;

// The rows of the note list: row i is the i-th note of the open notebook, read from the notebook
// whenever the view asks, so a refill copies no titles. The item data (Qt::UserRole) is the
// note's serial number. The row count is taken at each refill, so the view never sees the
// notebook change under it between refills.
class CNoteListModel : public QAbstractListModel
{
    Q_OBJECT

public:
    // What a rename from the list should do with the new title, once it is stored.
    using RenameHandler = std::function<void(int serial)>;

    CNoteListModel(CNoteBook& book, RenameHandler renamed, QObject* parent = nullptr);

    // Picks up the notebook's current notes.
    void Refill();
    // Repaints the row of this note, if it is listed.
    bool UpdateRow(int serial);

    QModelIndex index(int row, int column = 0, const QModelIndex& parent = QModelIndex()) const override;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    const CNote* NoteAt(const QModelIndex& index) const;

    CNoteBook& m_book;
    RenameHandler m_renamed;
    int m_count = 0;
};
