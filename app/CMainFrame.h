#pragma once

#include "CCommandRouter.h"
#include "CNoteSearch.h"
#include "INoteBookFrame.h"
#include "LogFont.h"

#include <QFont>
#include <QMainWindow>

#include <memory>
#include <string>

class CHostWnd;
class CNote;
class CNoteBook;
class CNoteEditCtrl;
class CNotePanel;
class CSearchBar;
class QLabel;
class QMenu;
class QToolBar;

// The program's only top-level window. It owns the open notebook and the panel that shows it, the
// fonts and the view settings, and routes every command of the menus, toolbar and keys.
class CMainFrame : public QMainWindow, public INoteBookFrame
{
    Q_OBJECT

public:
    CMainFrame();
    ~CMainFrame() override;
    // Builds the menus, bars and host; false when a part could not be made.
    bool Create();

    // The frame a pane belongs to.
    static CMainFrame* Of(const QWidget* widget);

    CNoteBook* GetNoteBook() const { return m_pNoteBook.get(); }
    CNotePanel* GetNotePanel() const { return m_pNotePanel.get(); }
    bool IsBookOpen() const { return m_pNoteBook && m_pNotePanel; }
    bool GetActiveNote(CNote** note = nullptr) const;
    void SetActiveNote(int serial, bool force);
    void CloseBook();
    QMenu* GetContextSubMenu(int position) const;
    CHostWnd* GetHost() const { return m_wndHost; }
    CCommandRouter& GetRouter() { return *m_router; }

    void OpenBook(const std::string& path);
    bool SaveBook();
    bool SaveBookAs();
    // The save prompt; false when the user (or a failed save) stops the operation.
    bool ConfirmDiscard();
    void SetMessageText(const QString& text);
    // The toolbar follows the update rules; panes call this when their state changes.
    void UpdateCommandStates();

    // INoteBookFrame
    bool GetWordWrap() const override { return m_bWordWrap; }
    void SetWordWrap(bool wrap) override { m_bWordWrap = wrap; }
    void GetWindowPlacement(WindowPlacement& placement) const override;
    void SetWindowPlacement(const WindowPlacement& placement) override;
    void GetPaneShares(std::int32_t& first, std::int32_t& second) const override;
    void SetPaneShares(std::int32_t first, std::int32_t second) override;
    void GetTextFont(LogFont& font) const override { font = m_textLogFont; }
    void SetBold(bool bold) override { m_bBold = bold; }
    void SetNoteFont(const char* face) override;
    void UpdateTitle() override;
    bool AskPassword(const std::string& prompt, std::string& password) override;

    // Note commands the panes reach as well.
    void OnDeleteNote();

    bool m_bWordWrap = false;
    bool m_bBold = false;
    QFont m_titleFont;
    QFont m_textFont;
    CNoteSearch m_search;
    CSearchBar* m_wndSearchBar = nullptr;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;

private:
    void CreateCommands();
    void CreateBookCommands();
    void CreateNoteCommands();
    void CreateFormatCommands();
    void AddClipboardCommand(int id, const QString& text, const QString& prompt, void (CNoteEditCtrl::*run)(),
                             void (CNoteEditCtrl::*update)(CCmdUI*) const);
    void CreateMenus();
    void CreateToolBar();
    void CreateStatusBar();
    // CAP, NUM and SCRL show whether their lock is on.
    void UpdateIndicators();
    void CreateContextMenus();
    void CreateSearchBar();
    void LayoutSearchBar();
    void ShowSearchHit(const SearchHit& hit, int length);
    QMenu* AddMenu(const QString& title, std::initializer_list<int> ids);
    void NewBook();
    bool WriteBook(const std::string& path);
    void CreatePanel();

    void OnFileNew();
    void OnFileOpen();
    void OnSetPassword();
    void OnAssociate();
    void OnAbout();
    void OnUndoChanges();
    void OnNewNote();
    void OnRenameNote();
    void OnMoveNote(bool up);
    void OnSortNotes();
    void OnFont(int id);
    void OnBold();
    void OnWordWrap();
    void OnFindNext();
    void OnJumpToSearch();

    std::unique_ptr<CCommandRouter> m_router;
    CHostWnd* m_wndHost = nullptr;
    QToolBar* m_wndToolBar = nullptr;
    QLabel* m_indicators[3] = {};
    std::unique_ptr<QMenu> m_contextMenu;
    CNote* m_pActiveNote = nullptr;
    std::unique_ptr<CNotePanel> m_pNotePanel;
    std::unique_ptr<CNoteBook> m_pNoteBook;
    LogFont m_textLogFont{};
};
