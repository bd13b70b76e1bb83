#include "CNoteListModel.h"

#include "CNoteBook.h"

CNoteListModel::CNoteListModel(BookSource book, RenameHandler renamed, QObject* parent)
    : QAbstractListModel(parent), m_book(std::move(book)), m_renamed(std::move(renamed))
{
}

void CNoteListModel::Refill()
{
    beginResetModel();
    const CNoteBook* book = m_book();
    m_count = book ? static_cast<int>(book->GetCount()) : 0;
    endResetModel();
}

bool CNoteListModel::UpdateRow(int serial)
{
    const CNoteBook* book = m_book();
    if (!book)
        return false;
    const std::ptrdiff_t row = book->IndexOf(serial);
    if (row < 0 || row >= m_count)
        return false;
    const QModelIndex changed = index(static_cast<int>(row));
    emit dataChanged(changed, changed, {Qt::DisplayRole});
    return true;
}

int CNoteListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_count;
}

const CNote* CNoteListModel::NoteAt(const QModelIndex& index) const
{
    const CNoteBook* book = m_book();
    if (!book || !index.isValid() || static_cast<std::size_t>(index.row()) >= book->GetCount())
        return nullptr;
    return book->GetNoteAtIndex(static_cast<std::size_t>(index.row()));
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
    CNoteBook* book = m_book();
    const QString title = value.toString();
    if (role != Qt::EditRole || !book || title.isEmpty())
        return false;
    const QVariant serial = data(index, Qt::UserRole);
    CNote* note = serial.isValid() ? book->FindNote(serial.toInt()) : nullptr;
    if (!note)
        return false;
    note->SetTitle(title.toStdString());
    book->SetModified();
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
