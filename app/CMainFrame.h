#pragma once

#include "app/CBookController.h"
#include "app/CPasswordDlg.h"
#include "model/INoteBookFrame.h"
#include "platform/LogFont.h"
#include "platform/desktop/CUserSettings.h"
#include "platform/qt/CCommandRouter.h"
#include "platform/qt/QtWindowPlacement.h"
#include "text/CNoteSearch.h"
#include "views/INotePanelOwner.h"

#include <QFont>
#include <QMainWindow>

#include <memory>
#include <string>

class CCodePagePane;
class CCountsPane;
class CFindAllDock;
class CHostWnd;
class CNote;
class CNoteBook;
class CNoteEditCtrl;
class CNotePanel;
class CSearchBar;
class CShortcutsDlg;
class QMenu;
class CMainToolBar;

// The program's only top-level window. Every command of the menus, toolbar and keys lands here
// and is routed to the part that does the work: the notebook lifecycle to the book controller,
// the note commands to the note panel. The frame keeps the fonts and view settings the notebook
// file carries.
class CMainFrame : public QMainWindow, public INoteBookFrame, public INotePanelOwner
{
    Q_OBJECT

public:
    CMainFrame();
    ~CMainFrame() override;
    // Builds the menus, bars and host; false when a part could not be made.
    bool Create();

    CNoteBook* GetNoteBook() const { return m_book->GetNoteBook(); }
    CNotePanel* GetNotePanel() const { return m_book->GetNotePanel(); }
    bool IsBookOpen() const { return m_book->IsOpen(); }
    bool GetActiveNote(CNote** note = nullptr) const;
    void SetActiveNote(int serial, bool force);
    CHostWnd* GetHost() const { return m_wndHost; }
    CCommandRouter& GetRouter() { return *m_router; }

    // The notebook lifecycle, carried out by the book controller.
    void OpenBook(const std::string& path) { m_book->OpenFile(path); }
    bool SaveBook() { return m_book->Save(); }
    bool SaveBookAs() { return m_book->SaveAs(); }
    // The save prompt; false when the user (or a failed save) stops the operation.
    bool ConfirmDiscard() { return m_book->ConfirmDiscard(); }
    void CloseBook() { m_book->Close(); }
    // At a start without a notebook: the unsaved changes that an ended Pelmora left behind.
    void OfferRecovery() { m_book->OfferLeftBehind(); }
    // A start without a file: what an ended Pelmora left behind, then the notebook used last when
    // the user asked for it.
    void StartWithoutFile();
    CBookController& GetBookController() { return *m_book; }
    // Book > Recent NoteBooks, numbered 1 to 8, from the book controller's list.
    void UpdateRecentMenu();
    QMenu* GetRecentMenu() const { return m_recentMenu; }

    // INotePanelOwner
    const QFont& GetTitleFont() const override { return m_titleFont; }
    const QFont& GetTextFont() const override { return m_textFont; }
    QFont GetListFont() const override;
    QMenu* GetContextSubMenu(int position) const override;
    void SetMessageText(const QString& text) override;
    // The message of a long operation, painted at once: the window has no events until it ends.
    void ShowBusyMessage(const QString& text);
    // The toolbar and menus follow the update rules; the panes call this when their state changes.
    void UpdateCommandStates() override;

    // INoteBookFrame (GetWordWrap serves both interfaces)
    bool GetWordWrap() const override { return m_bWordWrap; }
    void SetWordWrap(bool wrap) override { m_bWordWrap = wrap; }
    void GetWindowPlacement(WindowPlacement& placement) const override
    {
        placement = ::GetWindowPlacement(*this);
    }
    void SetWindowPlacement(const WindowPlacement& placement) override
    {
        ::SetWindowPlacement(*this, placement);
    }
    void GetPaneShares(std::int32_t& first, std::int32_t& second) const override;
    void SetPaneShares(std::int32_t first, std::int32_t second) override;
    void GetTextFont(LogFont& font) const override { font = m_textLogFont; }
    void SetBold(bool bold) override { m_bBold = bold; }
    void SetNoteFont(const char* face) override;
    void UpdateTitle() override;
    bool AskPassword(const std::string& prompt, std::string& password) override
    {
        return CPasswordDlg::AskFor(this, prompt, password);
    }
    bool AskPassphrase(const std::string& prompt, std::string& passphrase) override
    {
        return CPasswordDlg::AskForPassphrase(this, prompt, passphrase);
    }
    void ReadAside(const std::function<void(const ReadProgress&)>& work) override;

    bool m_bWordWrap = false;
    bool m_bBold = false;
    QFont m_titleFont;
    QFont m_textFont;
    CNoteSearch m_search;
    CSearchBar* m_wndSearchBar = nullptr;
    CFindAllDock* m_wndFindAllDock = nullptr;

protected:
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;

private:
    void CreateCommands();
    void CreateBookCommands();
    void CreateExchangeCommands();
    void CreateEncodingCommands();
    void CreateNoteCommands();
    void AddNoteCommand(int id, const QString& text, const QString& prompt, void (CNotePanel::*run)());
    void AddClipboardCommand(int id, const QString& text, const QString& prompt, void (CNoteEditCtrl::*run)(),
                             void (CNoteEditCtrl::*update)(CCmdUI*) const);
    void CreateReplaceCommands();
    void CreateFormatCommands();
    QMenu* AddMenu(const QString& title, std::initializer_list<int> ids);
    void CreateMenus();
    void CreateToolBar();
    void CreateStatusBar();
    void CreateContextMenus();
    void CreateSearchBar();
    void CreateFindAllDock();

    void OnAssociate();
    void OnAbout();
    void OnKeyboardShortcuts();
    void CreateViewCommands();
    void SetZoom(int zoom);
    // The note fonts at the user's zoom, given to the panes.
    void ApplyZoom();
    void OnFont(int id);
    void OnBold();
    void OnWordWrap();
    void OnFindNext();
    void OnJumpToSearch();

    std::unique_ptr<CCommandRouter> m_router;
    std::unique_ptr<CBookController> m_book;
    CHostWnd* m_wndHost = nullptr;
    CMainToolBar* m_wndToolBar = nullptr;
    CCodePagePane* m_wndCodePage = nullptr;
    CCountsPane* m_wndCounts = nullptr;
    std::unique_ptr<QMenu> m_contextMenu;
    QMenu* m_recentMenu = nullptr;
    CShortcutsDlg* m_shortcutsDlg = nullptr;
    LogFont m_textLogFont{};
    LogFont m_titleLogFont{};
    CUserSettings m_userSettings;
};
