#include "views/CFindAllModel.h"

#include "model/CNoteBook.h"
#include "text/TextLines.h"

#include <QPoint>

#include <algorithm>

namespace {

// How much of a long line shows around a match, in bytes.
constexpr std::size_t kBefore = 60;
constexpr std::size_t kAfter = 300;
// Rows the view gets at first: several screens.
constexpr int kFirstWanted = 1000;

std::size_t CharacterStart(std::string_view text, std::size_t pos)
{
    while (pos > 0 && (static_cast<unsigned char>(text[pos]) & 0xC0) == 0x80)
        --pos;
    return pos;
}

QString FromUtf8(std::string_view text, std::size_t from, std::size_t to)
{
    return QString::fromUtf8(text.data() + from, static_cast<qsizetype>(to - from));
}

} // namespace

CFindAllModel::CFindAllModel(CFindAll::TextSource textOf, QObject* parent)
    : QAbstractItemModel(parent), m_search(std::move(textOf))
{
}

void CFindAllModel::SetNoteBook(const CNoteBook* book)
{
    Clear();
    m_book = book;
}

bool CFindAllModel::Start(const std::string& pattern, const CTextMatcher::Options& options)
{
    beginResetModel();
    m_expanded.clear();
    m_shown = 0;
    m_wanted = kFirstWanted;
    // Asked once per search: texts still in a file another program changed then read as lost.
    if (m_book)
        m_book->StoredTextsIntact();
    const bool started = m_book && m_search.Start(pattern, options);
    if (!m_book)
        m_search.Clear();
    endResetModel();
    return started;
}

void CFindAllModel::Clear()
{
    beginResetModel();
    m_expanded.clear();
    m_shown = 0;
    m_wanted = kFirstWanted;
    m_search.Clear();
    endResetModel();
}

CFindAll::State CFindAllModel::Step(CFindAll::Clock::time_point deadline)
{
    if (!m_book)
        return m_search.GetState();
    const CFindAll::State state = m_search.Step(*m_book, deadline);
    ShowFound(state != CFindAll::State::Running);
    return state;
}

// Every batch of rows makes the view lay out the whole list again, so after the first rows they
// come in batches at least as large as what is shown: a million rows are then laid out about twenty
// times, not once per slice of the search.
void CFindAllModel::ShowFound(bool all)
{
    constexpr int kFirstRows = 256;
    const int found = std::min(static_cast<int>(m_search.GetResults().size()), m_wanted);
    const int waiting = found - m_shown;
    if (waiting <= 0 || (!all && m_shown >= kFirstRows && waiting < m_shown))
        return;
    beginInsertRows(QModelIndex(), m_shown, found - 1);
    m_shown = found;
    endInsertRows();
}

// A row beyond those shown changes only the results.
void CFindAllModel::Refresh(std::int32_t serial)
{
    if (!m_book)
        return;
    ShowFound(true);
    const CFindAll::Change change = m_search.PlanRefresh(*m_book, serial);
    if (change.kind == CFindAll::Change::None)
        return;
    if (!IsShown(change.row)) {
        m_search.ApplyRefresh(change);
        return;
    }
    switch (change.kind) {
    case CFindAll::Change::Changed: {
        const bool wasOpen = m_expanded.count(serial) != 0;
        DropChildren(change.row);
        m_search.ApplyRefresh(change);
        emit dataChanged(index(change.row, 0), index(change.row, ColumnCount - 1));
        if (wasOpen)
            fetchMore(index(change.row, 0));
        break;
    }
    case CFindAll::Change::Inserted:
        beginInsertRows(QModelIndex(), change.row, change.row);
        m_search.ApplyRefresh(change);
        ++m_shown;
        m_wanted = std::max(m_wanted, m_shown);
        ShiftExpandedRows(change.row, 1);
        endInsertRows();
        break;
    case CFindAll::Change::Removed:
        DropChildren(change.row);
        beginRemoveRows(QModelIndex(), change.row, change.row);
        m_search.ApplyRefresh(change);
        --m_shown;
        ShiftExpandedRows(change.row, -1);
        endRemoveRows();
        ShowFound(true); // a row waiting beyond takes the place
        break;
    case CFindAll::Change::None:
        break;
    }
}

// A new row after the last one shown belongs to the view when it has every row.
bool CFindAllModel::IsShown(int row) const
{
    return row < m_shown || (row == m_shown && m_shown == static_cast<int>(m_search.GetResults().size()) &&
                             m_shown < m_wanted);
}

void CFindAllModel::ShiftExpandedRows(int from, int by)
{
    for (auto& [serial, expanded] : m_expanded)
        if (expanded.row >= from)
            expanded.row += by;
}

void CFindAllModel::DropChildren(int row)
{
    const auto it = m_expanded.find(m_search.GetResults()[static_cast<std::size_t>(row)].serial);
    if (it == m_expanded.end())
        return;
    if (!it->second.occurrences.empty()) {
        beginRemoveRows(index(row, 0), 0, static_cast<int>(it->second.occurrences.size()) - 1);
        m_expanded.erase(it);
        endRemoveRows();
    } else {
        m_expanded.erase(it);
    }
}

void CFindAllModel::Collapse(const QModelIndex& index)
{
    if (index.isValid() && !index.parent().isValid() && index.row() < m_shown)
        DropChildren(index.row());
}

const FindAllResult* CFindAllModel::ResultAt(const QModelIndex& index) const
{
    const QModelIndex top = index.parent().isValid() ? index.parent() : index;
    if (!top.isValid() || top.row() >= m_shown)
        return nullptr;
    return &m_search.GetResults()[static_cast<std::size_t>(top.row())];
}

const FindAllOccurrence* CFindAllModel::OccurrenceOf(const QModelIndex& index) const
{
    const FindAllResult* result = ResultAt(index);
    if (!result)
        return nullptr;
    if (!index.parent().isValid())
        return &result->first;
    const auto it = m_expanded.find(result->serial);
    if (it == m_expanded.end() || index.row() >= static_cast<int>(it->second.occurrences.size()))
        return nullptr;
    return &it->second.occurrences[static_cast<std::size_t>(index.row())];
}

bool CFindAllModel::OccurrenceAt(const QModelIndex& index, std::int32_t& serial,
                                 FindAllOccurrence& occurrence)
{
    const FindAllResult* result = ResultAt(index);
    const CNote* note = result && m_book ? m_book->FindNote(result->serial) : nullptr;
    if (!note)
        return false;
    serial = result->serial;
    if (!index.parent().isValid())
        return m_search.FindFirst(*note, occurrence);
    const FindAllOccurrence* listed = OccurrenceOf(index);
    if (listed)
        occurrence = *listed;
    return listed != nullptr;
}

QModelIndex CFindAllModel::index(int row, int column, const QModelIndex& parent) const
{
    if (row < 0 || column < 0 || column >= ColumnCount)
        return {};
    if (!parent.isValid())
        return row < m_shown ? createIndex(row, column, quintptr(0)) : QModelIndex();
    const FindAllResult* result = ResultAt(parent);
    if (!result || parent.parent().isValid())
        return {};
    return createIndex(row, column, static_cast<quintptr>(result->serial));
}

QModelIndex CFindAllModel::parent(const QModelIndex& child) const
{
    if (!child.isValid() || child.internalId() == 0)
        return {};
    const auto it = m_expanded.find(static_cast<std::int32_t>(child.internalId()));
    return it == m_expanded.end() ? QModelIndex() : createIndex(it->second.row, 0, quintptr(0));
}

int CFindAllModel::rowCount(const QModelIndex& parent) const
{
    if (!parent.isValid())
        return m_shown;
    if (parent.parent().isValid() || parent.column() != 0)
        return 0;
    const FindAllResult* result = ResultAt(parent);
    const auto it = result ? m_expanded.find(result->serial) : m_expanded.end();
    return it == m_expanded.end() ? 0 : static_cast<int>(it->second.occurrences.size());
}

int CFindAllModel::columnCount(const QModelIndex&) const
{
    return ColumnCount;
}

bool CFindAllModel::hasChildren(const QModelIndex& parent) const
{
    if (!parent.isValid())
        return m_shown > 0;
    return !parent.parent().isValid() && parent.column() == 0;
}

bool CFindAllModel::canFetchMore(const QModelIndex& parent) const
{
    if (!parent.isValid())
        return m_shown == m_wanted && static_cast<int>(m_search.GetResults().size()) > m_shown;
    const FindAllResult* result = parent.isValid() && !parent.parent().isValid() ? ResultAt(parent) : nullptr;
    return result && m_expanded.count(result->serial) == 0;
}

// The view at the end of its rows asks for more: half as many again as it has, so that scrolling
// through a million rows lays them out a few dozen times, not once a page.
void CFindAllModel::fetchMore(const QModelIndex& parent)
{
    if (!parent.isValid()) {
        if (canFetchMore(parent)) {
            m_wanted += std::max(kFirstWanted, m_wanted / 2);
            ShowFound(true);
        }
        return;
    }
    const FindAllResult* result = canFetchMore(parent) ? ResultAt(parent) : nullptr;
    const CNote* note = result && m_book ? m_book->FindNote(result->serial) : nullptr;
    if (!note)
        return;
    std::vector<FindAllOccurrence> occurrences;
    m_search.FindOccurrences(*note, occurrences);
    const std::int32_t serial = result->serial;
    if (occurrences.empty()) {
        m_expanded[serial] = Expanded{parent.row(), {}};
        return;
    }
    beginInsertRows(parent.siblingAtColumn(0), 0, static_cast<int>(occurrences.size()) - 1);
    m_expanded[serial] = Expanded{parent.row(), std::move(occurrences)};
    endInsertRows();
}

QVariant CFindAllModel::data(const QModelIndex& index, int role) const
{
    const FindAllResult* result = ResultAt(index);
    const FindAllOccurrence* occurrence = OccurrenceOf(index);
    if (!result || !occurrence)
        return {};
    if (index.column() == LineColumn && (role == Qt::DisplayRole || role == MatchRole))
        return LineData(index, role);
    if (role != Qt::DisplayRole)
        return {};
    const bool top = !index.parent().isValid();
    switch (index.column()) {
    case NoteColumn: {
        const CNote* note = top && m_book ? m_book->FindNote(result->serial) : nullptr;
        return note ? QString::fromStdString(note->GetTitle()) : QString();
    }
    case CountColumn:
        return top ? QVariant(result->count) : QVariant();
    case PlaceColumn:
        return occurrence->InTitle() ? tr("Title") : tr("Line %1").arg(occurrence->line);
    default:
        return {};
    }
}

// The line of the occurrence, or the part of a long line around it, with the match's place.
QVariant CFindAllModel::LineData(const QModelIndex& index, int role) const
{
    const FindAllResult* result = ResultAt(index);
    const FindAllOccurrence* at = OccurrenceOf(index);
    const CNote* note = m_book ? m_book->FindNote(result->serial) : nullptr;
    if (!note)
        return {};
    std::string scratch;
    const std::string_view text =
        at->InTitle() ? std::string_view(note->GetTitle()) : m_search.TextOf(*note, scratch);
    // An edit not yet taken in may have shortened the text.
    const std::size_t start = std::min<std::size_t>(at->start, text.size());
    const std::string_view line = LineAround(text, start);
    const auto lineStart = static_cast<std::size_t>(line.data() - text.data());
    const std::size_t lineEnd = lineStart + line.size();
    const std::size_t end = std::clamp<std::size_t>(at->end, start, lineEnd);
    const std::size_t from = start - lineStart > kBefore ? CharacterStart(text, start - kBefore) : lineStart;
    const std::size_t to = lineEnd - end > kAfter ? CharacterStart(text, end + kAfter) : lineEnd;

    QString before = FromUtf8(text, from, start);
    if (from > lineStart)
        before.prepend(QChar(0x2026));
    const QString match = FromUtf8(text, start, end);
    if (role == MatchRole)
        return QPoint(static_cast<int>(before.size()), static_cast<int>(match.size()));
    QString shown = before + match + FromUtf8(text, end, to);
    if (to < lineEnd)
        shown += QChar(0x2026);
    // Tabs and other controls would draw as nothing or as boxes; a space keeps every place.
    for (QChar& c : shown)
        if (c.unicode() < 0x20)
            c = QLatin1Char(' ');
    return shown;
}

QVariant CFindAllModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case NoteColumn:
        return tr("Note");
    case CountColumn:
        return tr("Occurrences");
    case PlaceColumn:
        return tr("Where");
    case LineColumn:
        return tr("Text");
    default:
        return {};
    }
}
