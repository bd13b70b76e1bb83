#pragma once

#include "text/CFindAll.h"

#include <QAbstractItemModel>

#include <cstdint>
#include <unordered_map>
#include <vector>

class CNoteBook;

// The rows of the Find All results: one per matching note in notebook order, with the note's
// title, its number of occurrences and the line of its first occurrence; an expanded row lists
// every occurrence of its note, found again when it is opened and dropped when it is closed.
// Lines are read from the notes whenever the view asks, so the rows copy no text. The view gets the
// rows as it scrolls towards them: each row it lays out costs it as much memory as a result.
class CFindAllModel : public QAbstractItemModel
{
    Q_OBJECT

public:
    enum Column
    {
        NoteColumn,
        CountColumn,
        PlaceColumn,
        LineColumn,
        ColumnCount
    };
    // The match inside the line column's text, as QPoint(first character, length).
    static constexpr int MatchRole = Qt::UserRole + 1;

    CFindAllModel(CFindAll::TextSource textOf, QObject* parent = nullptr);

    // The notebook the rows stand for; null drops every row.
    void SetNoteBook(const CNoteBook* book);
    bool Start(const std::string& pattern, const CTextMatcher::Options& options);
    // Searches on until the deadline and shows the notes found.
    CFindAll::State Step(CFindAll::Clock::time_point deadline);
    void Clear();
    // Takes in an edit of one note's title or text.
    void Refresh(std::int32_t serial);
    // Drops the occurrences listed under a row that was closed.
    void Collapse(const QModelIndex& index);

    CFindAll& GetSearch() { return m_search; }
    // The note of a row, and the occurrence it shows: a note's first one as it is now, or the
    // one of an occurrence row. False when the row stands for nothing any more.
    bool OccurrenceAt(const QModelIndex& index, std::int32_t& serial, FindAllOccurrence& occurrence);

    QModelIndex index(int row, int column, const QModelIndex& parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    bool hasChildren(const QModelIndex& parent = QModelIndex()) const override;
    bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    struct Expanded
    {
        int row;
        std::vector<FindAllOccurrence> occurrences;
    };

    const FindAllResult* ResultAt(const QModelIndex& index) const;
    const FindAllOccurrence* OccurrenceOf(const QModelIndex& index) const;
    QVariant LineData(const QModelIndex& index, int role) const;
    void DropChildren(int row);
    void ShiftExpandedRows(int from, int by);
    // Announces the rows found since the last announcement, up to the rows the view has asked for;
    // all of them, or only a batch worth it.
    void ShowFound(bool all);
    // A result's row is there for the view.
    bool IsShown(int row) const;

    CFindAll m_search;
    const CNoteBook* m_book = nullptr;
    int m_shown = 0;
    int m_wanted = 0; // rows the view may have: it asks for more when it reaches their end
    std::unordered_map<std::int32_t, Expanded> m_expanded; // by serial
};
