#pragma once

#include <QFrame>

#include <functional>
#include <memory>
#include <string>
#include <string_view>

class CCmdUI;
class CNote;
class CNotePanel;
class CRichEditCtrlEx;
class QAction;
class QLineEdit;
class QMenu;

// The note editor pane, the right pane of the note panel: the active note's title box above its
// text box. Both controls exist only while a note is open; every change of the active note
// closes them and builds them afresh. Text moves into the note only through SaveText, the title
// only when the title box loses the focus.
class CNoteEditCtrl : public QFrame
{
    Q_OBJECT

public:
    static constexpr int kTextLimit = 0x100000;

    explicit CNoteEditCtrl(CNotePanel& panel);
    ~CNoteEditCtrl() override;

    void OpenNote(const CNote* note);
    void CloseNote();
    // The text box's whole text, in the note's own line ends.
    std::string GetText() const;
    // The same text in pieces, first to last: a large text is never held a second time.
    void ForEachTextPiece(const std::function<void(std::string_view)>& put) const;
    // Whether the box holds typing the note does not have yet.
    bool HasPendingText() const;
    // Copies the text box into the active note, when it changed since it was opened or saved.
    void SaveText();
    void SetTitleText(const std::string& title);
    // Puts a stored text back into the text box (Undo Changes); it counts as unchanged.
    void RestoreText(const std::string& text);
    void ApplyFonts();
    void RecalcLayout();

    void Cut();
    void Copy();
    void Paste();
    // Cut and Copy need a selection.
    void OnUpdateCutCopy(CCmdUI* cmdUI) const;
    void OnUpdatePaste(CCmdUI* cmdUI) const;

    CRichEditCtrlEx* GetTextCtrl() const { return m_textCtrl.get(); }
    QLineEdit* GetTitleBox() const { return m_titleBox.get(); }

signals:
    // The text in the box changed: typed, pasted, erased, or put back by Undo Changes.
    void TextChanged();

protected:
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void CreateTitleBox(const QString& title);
    void CreateTextCtrl();
    void SetControlText(const std::string& text);
    void DestroyControls();
    void OnTextChanged();
    void CommitTitle();
    void OnContextMenu(const QPoint& globalPos);
    // Suggestions, Add to Dictionary and Ignore All above the editing entries.
    void OnSpellingMenu(QMenu& editMenu, const QPoint& globalPos, int wordStart, int wordEnd);
    void RunContextCommand(const QAction* chosen);
    bool HasSelection() const;
    const char* LineEnd() const { return m_bCrLf ? "\r\n" : "\n"; }

    CNotePanel& m_panel;
    std::unique_ptr<CRichEditCtrlEx> m_textCtrl;
    std::unique_ptr<QLineEdit> m_titleBox;
    bool m_bLoading = false;
    // The note's text had Windows line ends; a changed text gets them back.
    bool m_bCrLf = false;
};
