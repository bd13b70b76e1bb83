#include "views/CNoteListModel.h"

#include "model/CNoteBook.h"

CNoteListModel::CNoteListModel(CNoteBook& book, RenameHandler renamed, QObject* parent)
    : QAbstractListModel(parent), m_book(book), m_renamed(std::move(renamed))
{
}

void CNoteListModel::Refill()
{
    beginResetModel();
    m_count = static_cast<int>(m_book.GetCount());
    endResetModel();
}

bool CNoteListModel::UpdateRow(int serial)
{
    const std::ptrdiff_t row = m_book.IndexOf(serial);
    if (row < 0 || row >= m_count)
        return false;
    const QModelIndex changed = index(static_cast<int>(row));
    emit dataChanged(changed, changed, {Qt::DisplayRole});
    return true;
}

// Asked once for every row whenever the list lays itself out: a million times after a refill.
QModelIndex CNoteListModel::index(int row, int column, const QModelIndex& parent) const
{
    if (row < 0 || row >= m_count || column != 0 || parent.isValid())
        return {};
    return createIndex(row, column);
}

int CNoteListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_count;
}

const CNote* CNoteListModel::NoteAt(const QModelIndex& index) const
{
    if (!index.isValid() || static_cast<std::size_t>(index.row()) >= m_book.GetCount())
        return nullptr;
    return m_book.GetNoteAtIndex(static_cast<std::size_t>(index.row()));
}

QVariant CNoteListModel::data(const QModelIndex& index, int role) const
{
    const CNote* note = NoteAt(index);
    if (!note)
        return {};
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        return QString::fromStdString(note->GetTitle());
    case Qt::UserRole:
        return note->GetSerial();
    default:
        return {};
    }
}

// The end of an in-place rename. An empty label is refused and leaves the notebook alone; any
// other text is taken exactly as typed and marks the notebook, even when it did not change.
bool CNoteListModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    const QString title = value.toString();
    if (role != Qt::EditRole || title.isEmpty())
        return false;
    const QVariant serial = data(index, Qt::UserRole);
    CNote* note = serial.isValid() ? m_book.FindNote(serial.toInt()) : nullptr;
    if (!note)
        return false;
    note->SetTitle(title.toStdString());
    m_book.SetModified();
    emit dataChanged(index, index, {Qt::DisplayRole, Qt::EditRole});
    m_renamed(note->GetSerial());
    return true;
}

Qt::ItemFlags CNoteListModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable | Qt::ItemNeverHasChildren;
}
