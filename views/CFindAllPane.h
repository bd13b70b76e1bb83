#pragma once

#include "text/CFindAll.h"

#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <string>
#include <vector>

class CFindAllModel;
class CNote;
class CNotePanel;
class CReplaceRow;
class QCheckBox;
class QLabel;
class QLineEdit;
class QTreeView;

// The Find All results: every note of the open notebook that holds the search box's text, with
// three check boxes for how it matches. While it shows, the results follow the box a short pause
// after the last key and follow edits of the notes. The search runs a few milliseconds at a time
// between the window's events, so the window keeps answering; a new key cancels it. Enter or a
// double click on a result opens its note at the occurrence.
class CFindAllPane : public QWidget
{
    Q_OBJECT

public:
    static constexpr int kPauseMs = 250;

    // The search box belongs to the window and outlives the pane.
    CFindAllPane(QLineEdit& searchBox, QWidget* parent);
    ~CFindAllPane() override;

    // The panel of the open notebook, or null; it goes away by itself.
    void SetNotePanel(CNotePanel* panel);
    // Searches for the search box's text now.
    void FindAll();
    bool IsSearching() const;

    CNotePanel* GetNotePanel() const;
    // Shows the Replace row and puts the keys in its box.
    void ShowReplace();
    CReplaceRow* GetReplaceRow() const { return m_replaceRow; }

    // What Replace needs: the results complete and up to date with the box, its options and the
    // notes (false when there are none to have: no text, or a bad or runaway pattern, or between
    // returned false), a matcher that matches as the results do, the text a note is searched in,
    // and the way to an occurrence. Between runs after each slice of a search.
    using Between = std::function<bool()>;
    bool EnsureResults(const Between& between = {});
    // Searches the whole notebook again now; false as EnsureResults.
    bool SearchToEnd(const Between& between = {});
    // Searches again, a slice at a time between the window's events.
    void FindAgain() { Search(); }
    bool CompileMatcher(CTextMatcher& matcher) const;
    std::string_view TextOfNote(const CNote& note) { return TextOf(note); }
    void ShowOccurrence(std::int32_t serial, const FindAllOccurrence& occurrence)
    {
        Show(serial, occurrence);
    }
    // Takes in a change of the note at once and shows the current result's occurrence.
    void RefreshNote(std::int32_t serial);
    void ShowCurrent();
    // Text for the pane's message and the status line, kept there until the next search.
    void Report(const QString& text);

    QCheckBox* GetMatchCaseBox() const { return m_matchCase; }
    QCheckBox* GetWholeWordsBox() const { return m_wholeWords; }
    QCheckBox* GetRegexBox() const { return m_regex; }
    QLabel* GetMessage() const { return m_message; }
    QTreeView* GetView() const { return m_view; }
    CFindAllModel* GetModel() const { return m_model; }

signals:
    // Text for the window's status line.
    void MessageText(const QString& text);
    // Escape: the user wants the pane closed.
    void Dismissed();

protected:
    void hideEvent(QHideEvent* event) override;

private:
    void CreateControls();
    void Bind(CNotePanel* panel);
    void Search();
    // Search, once no command runs in slices.
    void SearchWhenFree();
    CTextMatcher::Options Options() const;
    void Cancel();
    void Say(const QString& text);
    void RunSlice();
    void ShowOutcome();
    void OnBoxEdited();
    void OnOptionToggled();
    void OnNotesReordered();
    void OnTitlesChanged(const QModelIndex& first, const QModelIndex& last);
    void OnTextChanged();
    void RefreshPending();
    void OnActivated(const QModelIndex& index);
    void Show(std::int32_t serial, const FindAllOccurrence& occurrence);
    std::string_view TextOf(const CNote& note);
    std::string_view SearchedText(const CNote& note, std::string& scratch);

    QLineEdit& m_searchBox;
    QPointer<CNotePanel> m_panel;
    std::vector<QMetaObject::Connection> m_bindings; // to the panel and its panes
    QCheckBox* m_matchCase = nullptr;
    QCheckBox* m_wholeWords = nullptr;
    QCheckBox* m_regex = nullptr;
    QLabel* m_message = nullptr;
    QTreeView* m_view = nullptr;
    CFindAllModel* m_model = nullptr;
    CReplaceRow* m_replaceRow = nullptr;
    // What the results were found for.
    QString m_searchedText;
    CTextMatcher::Options m_searchedOptions;

    QTimer m_typingPause;
    QTimer m_editPause;
    QTimer m_nextSlice;
    QTimer m_rerun;
    std::vector<std::int32_t> m_pending; // notes whose title changed
    bool m_activeEdited = false;         // and the open note's text
    QString m_lastSummary;
    bool m_reported = false; // the message is a command's report
    // The open note's unsaved typing, read from the editor once per change.
    std::string m_editorText;
    bool m_editorTextStale = true;
};
