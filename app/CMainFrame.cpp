#include "app/CMainFrame.h"

#include "app/CAboutDlg.h"
#include "app/CBookController.h"
#include "app/CBookExchange.h"
#include "app/CHostWnd.h"
#include "app/CMainToolBar.h"
#include "app/CPasswordDlg.h"
#include "app/CShortcutsDlg.h"
#include "app/CommandIds.h"
#include "model/CNoteBook.h"
#include "platform/DebugTrace.h"
#include "platform/MessageBox.h"
#include "platform/desktop/CFileAssociation.h"
#include "platform/qt/CFileDropFilter.h"
#include "platform/qt/CLockIndicators.h"
#include "platform/qt/CSliceProgress.h"
#include "platform/qt/DisplayScale.h"
#include "platform/qt/QtFont.h"
#include "platform/qt/WaitCursor.h"
#include "views/CCodePagePane.h"
#include "views/CCountsPane.h"
#include "views/CFindAllDock.h"
#include "views/CFindAllPane.h"
#include "views/CNoteEditCtrl.h"
#include "views/CNoteListCtrl.h"
#include "views/CNotePanel.h"
#include "views/CReplaceRow.h"
#include "views/CSearchBar.h"
#include "views/CSpellLanguageMenu.h"
#include "views/CSpelling.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QFile>
#include <QLineEdit>
#include <QMenuBar>
#include <QRegularExpression>
#include <QStatusBar>

#include <algorithm>
#include <filesystem>

namespace {

int Trunc(double value)
{
    return static_cast<int>(value);
}

} // namespace

CMainFrame::CMainFrame()
    : m_router(std::make_unique<CCommandRouter>(this)), m_book(std::make_unique<CBookController>(*this))
{
    SetAppMainFrame(this);
}

CMainFrame::~CMainFrame()
{
    // Focus moves while the children go; no update may reach a frame half torn down.
    disconnect(qApp, nullptr, this, nullptr);
    disconnect(QGuiApplication::clipboard(), nullptr, this, nullptr);
    CloseBook();
    if (GetAppMainFrame() == this)
        SetAppMainFrame(nullptr);
}

bool CMainFrame::Create()
{
    setWindowIcon(QIcon(":/icons/pelmora.svg"));
    m_userSettings = CUserSettings::Read();
    SetNoteFont("Verdana");
    CreateCommands();
    CreateContextMenus();

    m_wndHost = new CHostWnd(this);
    setCentralWidget(m_wndHost);
    // The keys start in the work area, not in the first box of the window.
    m_wndHost->setFocus(Qt::OtherFocusReason);
    new CFileDropFilter(this, {QStringLiteral("pelm"), QStringLiteral("pelmx")},
                        [this](const QString& path) { m_book->OpenDropped(path.toStdString()); });

    CreateMenus();
    CreateToolBar();
    CreateStatusBar();
    CreateSearchBar();
    CreateFindAllDock();

    setMinimumSize(Trunc(500 / g_scaleX), Trunc(500 / g_scaleY));
    resize(800, 600);
    UpdateTitle();
    UpdateCommandStates();

    connect(qApp, &QApplication::focusChanged, this, [this] { UpdateCommandStates(); });
    connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, this, [this] { UpdateCommandStates(); });
    return true;
}

// --- commands ---------------------------------------------------------------------------------

void CMainFrame::CreateCommands()
{
    CreateBookCommands();
    CreateExchangeCommands();
    CreateEncodingCommands();
    CreateNoteCommands();
    CreateFormatCommands();
    CreateViewCommands();
    m_router->Add(ID_APP_ABOUT, tr("&About Pelmora..."),
                  tr("Display program information, version number and copyright\nAbout"),
                  [this] { OnAbout(); });
    m_router->Add(ID_KEYBOARD_SHORTCUTS, tr("&Keyboard Shortcuts"),
                  tr("List every command with its keys.\nKeyboard Shortcuts"),
                  [this] { OnKeyboardShortcuts(); });
}

// Print, PDF, export and import: the notebook's ways out and in.
void CMainFrame::CreateExchangeCommands()
{
    auto printable = [this](CCmdUI& ui) { ui.Enable(!CBookExchange(*this).NotesToPrint().empty()); };
    auto bookOpen = [this](CCmdUI& ui) { ui.Enable(IsBookOpen()); };
    m_router->Add(
        ID_PRINT, tr("Pr&int...\tCtrl+P"),
        tr("Print the open note, or the note selected in the list.\nPrint"),
        [this] { CBookExchange(*this).Print(); }, printable);
    m_router->Add(
        ID_EXPORT_PDF, tr("Export as P&DF..."),
        tr("Write the open note, or the note selected in the list, as a PDF file.\nExport as PDF"),
        [this] { CBookExchange(*this).ExportPdf(); }, printable);
    m_router->Add(
        ID_EXPORT, tr("&Export..."),
        tr("Write every note as a text file into a folder, or all into one Markdown file.\nExport"),
        [this] { CBookExchange(*this).Export(); }, bookOpen);
    m_router->Add(
        ID_IMPORT_FILES, tr("Import &Files..."), tr("Add text and Markdown files as notes.\nImport Files"),
        [this] { CBookExchange(*this).ImportFiles(); }, bookOpen);
}

void CMainFrame::CreateBookCommands()
{
    auto bookOpen = [this](CCmdUI& ui) { ui.Enable(IsBookOpen()); };
    auto bookExists = [this](CCmdUI& ui) { ui.Enable(GetNoteBook() != nullptr); };
    m_router->Add(ID_FILE_NEW, tr("&New"), tr("Start a new note book.\nNew"), [this] { m_book->New(); });
    m_router->Add(ID_FILE_OPEN, tr("&Open"), tr("Open an existing note book.\nOpen"),
                  [this] { m_book->Open(); });
    m_router->Add(
        ID_FILE_SAVE, tr("&Save\tCtrl+S"), tr("Save the current note book.\nSave"), [this] { SaveBook(); },
        bookOpen);
    m_router->Add(
        ID_FILE_SAVE_AS, tr("Save &As..."), tr("Save the current notebook.\nSave As"),
        [this] { SaveBookAs(); },
        [this](CCmdUI& ui) { ui.Enable(IsBookOpen() && GetNoteBook()->GetPath().HasPath()); });
    m_router->Add(
        ID_SET_PASSWORD, tr("Set &Password..."),
        tr("Locks the notebook with the user password given\nSet Password"),
        [this] { m_book->SetPassword(); }, bookExists);
    m_router->Add(
        ID_CHANGE_PASSPHRASE, tr("C&hange Passphrase..."),
        tr("Changes the passphrase the notebook is encrypted with\nChange Passphrase"),
        [this] { m_book->ChangePassphrase(); },
        [this](CCmdUI& ui) { ui.Enable(IsBookOpen() && GetNoteBook()->GetSecret() != nullptr); });
    m_router->Add(ID_ASSOCIATE, tr("Associa&te Pelmora Files"),
                  tr("Associates Pelmora book files with Pelmora.\nAssociate"), [this] { OnAssociate(); });
    m_router->Add(ID_APP_EXIT, tr("E&xit"), tr("Quit the application; prompts to save documents\nExit"),
                  [this] { close(); });
}

// The notebook's code page: shown checked, and changed for the next save.
void CMainFrame::CreateEncodingCommands()
{
    for (const TextEncoding encoding : {TextEncoding::utf8, TextEncoding::windows1252}) {
        const bool utf8 = encoding == TextEncoding::utf8;
        const int id = utf8 ? ID_ENCODING_UTF8 : ID_ENCODING_WINDOWS1252;
        m_router->Add(
            id, utf8 ? tr("&Unicode (UTF-8)") : tr("&Western (Windows-1252)"),
            utf8 ? tr("Store the notebook in UTF-8 from the next save.\nUnicode (UTF-8)")
                 : tr("Store the notebook in the Windows program's Western code page from the next "
                      "save.\nWestern (Windows-1252)"),
            [this, encoding] {
                GetNoteBook()->ChangeEncoding(encoding);
                m_wndCodePage->Show(GetNoteBook());
            },
            [this, encoding](CCmdUI& ui) {
                ui.Enable(GetNoteBook() != nullptr);
                ui.SetCheck(GetNoteBook() && GetNoteBook()->GetEncoding() == encoding);
            });
        m_router->SetCheckable(id);
    }
}

void CMainFrame::CreateNoteCommands()
{
    m_router->Add(
        ID_UNDO_CHANGES, tr("&Undo Changes\tCtrl+Alt+Z"), tr("Undo all changes made to this note."),
        [this] { GetNotePanel()->UndoChanges(); },
        [this](CCmdUI& ui) { ui.Enable(GetActiveNote() && GetNoteBook()->IsModified()); });
    AddClipboardCommand(ID_EDIT_CUT, tr("Cu&t\tCtrl+X"),
                        tr("Cut the selection and put it on the Clipboard\nCut"), &CNoteEditCtrl::Cut,
                        &CNoteEditCtrl::OnUpdateCutCopy);
    AddClipboardCommand(ID_EDIT_COPY, tr("&Copy\tCtrl+C"),
                        tr("Copy the selection and put it on the Clipboard\nCopy"), &CNoteEditCtrl::Copy,
                        &CNoteEditCtrl::OnUpdateCutCopy);
    AddClipboardCommand(ID_EDIT_PASTE, tr("&Paste\tCtrl+V"), tr("Insert Clipboard contents\nPaste"),
                        &CNoteEditCtrl::Paste, &CNoteEditCtrl::OnUpdatePaste);
    AddNoteCommand(ID_NEW_NOTE, tr("&New Note\tCtrl+N"), tr("Add a new note.\nNew Note"),
                   &CNotePanel::NewNote);
    AddNoteCommand(ID_RENAME_NOTE, tr("&Rename"), tr("Rename the selected note.\nRename"),
                   &CNotePanel::RenameSelected);
    AddNoteCommand(ID_DELETE_NOTE, tr("&Delete Note\tCtrl+Del"),
                   tr("Delete the currently selected note.\nDelete Note"), &CNotePanel::DeleteSelected);
    for (const bool up : {true, false})
        m_router->Add(
            up ? ID_MOVE_UP : ID_MOVE_DOWN, up ? tr("Move Up") : tr("Move Down"),
            up ? tr("Move the selected up.\nMove Up") : tr("Move the selected down.\nMove Down"),
            [this, up] { GetNotePanel()->MoveSelected(up); },
            [this](CCmdUI& ui) {
                ui.Enable(false);
                if (IsBookOpen())
                    GetNotePanel()->OnUpdateMoveSelected(&ui);
            });
    // Keys beside the toolbar's buttons; the menu keeps its texts.
    m_router->AddKey(ID_MOVE_UP, QKeySequence(Qt::ALT | Qt::SHIFT | Qt::Key_Up));
    m_router->AddKey(ID_MOVE_DOWN, QKeySequence(Qt::ALT | Qt::SHIFT | Qt::Key_Down));
    m_router->Add(ID_FIND_NEXT, tr("Find Next\tF3"), tr("Find next search result.\nFind Next"),
                  [this] { OnFindNext(); });
    m_router->Add(ID_FIND_ALL, tr("&Find All\tCtrl+Shift+F"),
                  tr("List every note that holds the search text.\nFind All"),
                  [this] { m_wndFindAllDock->FindAll(); });
    m_router->Add(ID_JUMP_TO_SEARCH, tr("Jump to Search Bar\tCtrl+F"),
                  tr("Jump to the Search Bar.\nGo To Search"), [this] { OnJumpToSearch(); });
    m_router->Add(
        ID_GO_TO_NOTE, tr("&Go to Note...\tCtrl+G"),
        tr("Open a note by typing part of its title.\nGo to Note"), [this] { GetNotePanel()->GoToNote(); },
        [this](CCmdUI& ui) { ui.Enable(IsBookOpen()); });
    CreateReplaceCommands();
    m_router->Add(
        ID_SORT_NOTES, tr("Sort &Alphabetically"), tr("Sort all Notes Alphabetically\nSort Alphabetically"),
        [this] { GetNotePanel()->SortNotes(); }, [this](CCmdUI& ui) { ui.Enable(IsBookOpen()); });
}

// Replace works in the Find All pane, on what it lists.
void CMainFrame::CreateReplaceCommands()
{
    m_router->Add(
        ID_REPLACE, tr("Replac&e...\tCtrl+H"),
        tr("Replace what the search box finds, in one note or in all of them.\nReplace"),
        [this] { m_wndFindAllDock->ShowReplace(); }, [this](CCmdUI& ui) { ui.Enable(IsBookOpen()); });
    m_router->Add(
        ID_UNDO_REPLACE_ALL, tr("Undo Replace A&ll"),
        tr("Take back the last Replace All in every note.\nUndo Replace All"),
        [this] { m_wndFindAllDock->GetPane()->GetReplaceRow()->UndoReplaceAll(); },
        [this](CCmdUI& ui) {
            ui.Enable(IsBookOpen() && m_wndFindAllDock &&
                      m_wndFindAllDock->GetPane()->GetReplaceRow()->CanUndo());
        });
}

// New Note, Rename and Delete Note: enabled with a notebook, carried out by its panel.
void CMainFrame::AddNoteCommand(int id, const QString& text, const QString& prompt, void (CNotePanel::*run)())
{
    m_router->Add(
        id, text, prompt,
        [this, run] {
            if (CNotePanel* panel = GetNotePanel())
                (panel->*run)();
        },
        [this](CCmdUI& ui) { ui.Enable(GetNoteBook() != nullptr); });
}

// Cut, Copy and Paste act on the open note's text box and follow its state.
void CMainFrame::AddClipboardCommand(int id, const QString& text, const QString& prompt,
                                     void (CNoteEditCtrl::*run)(),
                                     void (CNoteEditCtrl::*update)(CCmdUI*) const)
{
    m_router->Add(
        id, text, prompt,
        [this, run] {
            if (GetActiveNote())
                (GetNotePanel()->GetEditPane()->*run)();
        },
        [this, update](CCmdUI& ui) {
            ui.Enable(false);
            if (GetActiveNote())
                (GetNotePanel()->GetEditPane()->*update)(&ui);
        });
}

void CMainFrame::CreateFormatCommands()
{
    static const char* const faces[] = {"&Times New Roman", "Ta&homa",      "&Verdana",
                                        "&Lucida Console",  "&Courier New", "&Arial"};
    for (int id = ID_FONT_FIRST; id <= ID_FONT_LAST; ++id) {
        // The font commands trace every update and command they receive.
        m_router->Add(
            id, QString::fromLatin1(faces[id - ID_FONT_FIRST]), QString(),
            [this, id] {
                DebugTrace("Code received id = %d, code = %d", id, 0);
                OnFont(id);
            },
            [this, id](CCmdUI& ui) {
                DebugTrace("Code received id = %d, code = %d", id, -1);
                ui.Enable(GetActiveNote());
            });
    }
    m_router->Add(
        ID_BOLD, tr("&Bold"), tr("Makes font bold.\nBold"), [this] { OnBold(); },
        [this](CCmdUI& ui) {
            ui.Enable(GetActiveNote());
            ui.SetCheck(m_bBold);
        });
    m_router->Add(
        ID_WORD_WRAP, tr("&Word Wrap"), tr("Word wrap the note text.\nWord Wrap"), [this] { OnWordWrap(); },
        [this](CCmdUI& ui) {
            ui.Enable(GetActiveNote());
            ui.SetCheck(m_bWordWrap);
        });
    m_router->SetCheckable(ID_BOLD);
    m_router->SetCheckable(ID_WORD_WRAP);
    m_router->Add(
        ID_CHECK_SPELLING, tr("Check &Spelling"), tr("Mark the misspelt words of the note.\nCheck Spelling"),
        [] { CSpelling::Instance().SetOn(!CSpelling::Instance().IsOn()); },
        [](CCmdUI& ui) {
            ui.Enable(CSpelling::Instance().IsAvailable());
            ui.SetCheck(CSpelling::Instance().IsOn());
        });
    m_router->SetCheckable(ID_CHECK_SPELLING);
}

// The user's own choices, kept for the user and never in the notebook.
void CMainFrame::CreateViewCommands()
{
    m_router->Add(ID_ZOOM_IN, tr("Zoom &In\tCtrl++"), tr("Show the note and the list larger.\nZoom In"),
                  [this] { SetZoom(m_userSettings.m_zoom + 1); });
    m_router->AddKey(ID_ZOOM_IN, QKeySequence(Qt::CTRL | Qt::Key_Equal));
    m_router->Add(ID_ZOOM_OUT, tr("Zoom &Out\tCtrl+-"), tr("Show the note and the list smaller.\nZoom Out"),
                  [this] { SetZoom(m_userSettings.m_zoom - 1); });
    m_router->Add(ID_ZOOM_RESET, tr("&Normal Size\tCtrl+0"),
                  tr("Show the note and the list at the notebook's own size.\nNormal Size"),
                  [this] { SetZoom(0); });
    m_router->Add(
        ID_REOPEN_LAST, tr("Reopen &Last NoteBook at Start"),
        tr("Open the notebook used last when Pelmora starts without a file.\nReopen Last NoteBook"),
        [this] {
            m_userSettings.m_bReopenLast = !m_userSettings.m_bReopenLast;
            m_userSettings.Write();
        },
        [this](CCmdUI& ui) { ui.SetCheck(m_userSettings.m_bReopenLast); });
    m_router->SetCheckable(ID_REOPEN_LAST);
}

// --- menus and bars ---------------------------------------------------------------------------

QMenu* CMainFrame::AddMenu(const QString& title, std::initializer_list<int> ids)
{
    QMenu* menu = menuBar()->addMenu(title);
    for (int id : ids) {
        if (id == 0)
            menu->addSeparator();
        else if (QAction* action = m_router->Action(id))
            menu->addAction(action);
    }
    m_router->WatchMenu(menu);
    return menu;
}

void CMainFrame::CreateMenus()
{
    QMenu* book =
        AddMenu(tr("&Book"), {ID_FILE_NEW, ID_FILE_OPEN, 0, ID_FILE_SAVE, ID_FILE_SAVE_AS, 0, ID_IMPORT_FILES,
                              ID_EXPORT, ID_EXPORT_PDF, ID_PRINT, 0, ID_SET_PASSWORD, ID_CHANGE_PASSPHRASE, 0,
                              ID_ASSOCIATE, 0, ID_REOPEN_LAST, 0, ID_APP_EXIT});
    // The two code pages are radio items of a submenu in front of Set Password.
    auto* encoding = new QMenu(tr("En&coding"), book);
    auto* choice = new QActionGroup(encoding);
    for (int id : {ID_ENCODING_UTF8, ID_ENCODING_WINDOWS1252})
        encoding->addAction(choice->addAction(m_router->Action(id)));
    m_router->WatchMenu(encoding);
    book->insertMenu(m_router->Action(ID_SET_PASSWORD), encoding);
    m_recentMenu = new QMenu(tr("&Recent NoteBooks"), book);
    // The shortcut list tells of its entries by their numbers.
    m_recentMenu->setProperty("numbered", static_cast<int>(CRecentFileList::kSize));
    book->insertMenu(book->actions().at(2), m_recentMenu);
    UpdateRecentMenu();
    AddMenu(tr("&Note"), {ID_UNDO_CHANGES,
                          0,
                          ID_EDIT_CUT,
                          ID_EDIT_COPY,
                          ID_EDIT_PASTE,
                          0,
                          ID_NEW_NOTE,
                          ID_RENAME_NOTE,
                          ID_DELETE_NOTE,
                          0,
                          ID_MOVE_UP,
                          ID_MOVE_DOWN,
                          0,
                          ID_SORT_NOTES,
                          0,
                          ID_FIND_NEXT,
                          ID_FIND_ALL,
                          ID_JUMP_TO_SEARCH,
                          ID_GO_TO_NOTE,
                          0,
                          ID_REPLACE,
                          ID_UNDO_REPLACE_ALL});
    AddMenu(tr("&Format"),
            {ID_FONT_TIMES, ID_FONT_TAHOMA, ID_FONT_VERDANA, ID_FONT_LUCIDA, ID_FONT_COURIER, ID_FONT_ARIAL,
             0, ID_BOLD, 0, ID_WORD_WRAP, 0, ID_ZOOM_IN, ID_ZOOM_OUT, ID_ZOOM_RESET, 0, ID_CHECK_SPELLING})
        ->addMenu(new CSpellLanguageMenu(this));
    AddMenu(tr("&Help"), {ID_KEYBOARD_SHORTCUTS, 0, ID_APP_ABOUT});
}

void CMainFrame::UpdateRecentMenu()
{
    if (!m_recentMenu)
        return;
    m_recentMenu->clear();
    const std::vector<std::string>& paths = m_book->GetRecentPaths();
    const std::vector<std::string> names = CRecentFileList::ShortNames(paths);
    for (std::size_t i = 0; i < paths.size(); ++i) {
        const QString path = QFile::decodeName(QByteArray::fromStdString(paths[i]));
        const QString name =
            QFile::decodeName(QByteArray::fromStdString(names[i])).replace('&', QStringLiteral("&&"));
        QAction* action = m_recentMenu->addAction(QStringLiteral("&%1 %2").arg(i + 1).arg(name));
        action->setStatusTip(path);
        connect(action, &QAction::triggered, this, [this, i] { m_book->OpenRecent(i); });
    }
    m_recentMenu->menuAction()->setEnabled(!paths.empty());
}

void CMainFrame::CreateToolBar()
{
    m_wndToolBar = new CMainToolBar(*m_router, this);
    addToolBar(m_wndToolBar);
}

void CMainFrame::CreateStatusBar()
{
    m_wndCounts = new CCountsPane(this);
    statusBar()->addPermanentWidget(m_wndCounts);
    m_wndCodePage = new CCodePagePane(this);
    statusBar()->addPermanentWidget(m_wndCodePage);
    statusBar()->addPermanentWidget(new CLockIndicators(this));
    m_router->SetIdleText(tr("Ready"));
    SetMessageText(tr("Ready"));
}

void CMainFrame::CreateContextMenus()
{
    m_contextMenu = std::make_unique<QMenu>();
    auto add = [](QMenu* menu, const QString& text, ContextCommand command) {
        menu->addAction(text)->setData(static_cast<int>(command));
    };
    QMenu* list = m_contextMenu->addMenu(tr("List"));
    add(list, tr("&Rename"), ContextCommand::Rename);
    list->addSeparator();
    add(list, tr("&Delete"), ContextCommand::Delete);
    QMenu* editor = m_contextMenu->addMenu(tr("Editor"));
    add(editor, tr("Cu&t"), ContextCommand::Cut);
    add(editor, tr("&Copy"), ContextCommand::Copy);
    add(editor, tr("&Paste"), ContextCommand::Paste);
}

void CMainFrame::CreateSearchBar()
{
    m_wndSearchBar = new CSearchBar(this);
    connect(m_wndSearchBar, &CSearchBar::FindNext, this, [this] { m_router->Run(ID_FIND_NEXT); });
    connect(m_wndSearchBar, &CSearchBar::FindAll, this, [this] { m_router->Run(ID_FIND_ALL); });
    m_wndSearchBar->show();
    m_wndToolBar->SetSearchBar(m_wndSearchBar);
}

// The results lie below the note panel. The dock keeps its height while hidden, for this run only.
void CMainFrame::CreateFindAllDock()
{
    m_wndFindAllDock = new CFindAllDock(*m_wndSearchBar->Edit(), this);
    addDockWidget(Qt::BottomDockWidgetArea, m_wndFindAllDock);
    CFindAllPane* pane = m_wndFindAllDock->GetPane();
    connect(pane, &CFindAllPane::MessageText, this, &CMainFrame::SetMessageText);
    connect(m_wndHost, &CHostWnd::ContentChanged, pane, [this, pane] { pane->SetNotePanel(GetNotePanel()); });
    connect(pane->GetReplaceRow(), &CReplaceRow::UndoChanged, this, &CMainFrame::UpdateCommandStates);
}

QMenu* CMainFrame::GetContextSubMenu(int position) const
{
    const QList<QAction*> menus = m_contextMenu->actions();
    if (position < 0 || position >= menus.size())
        return nullptr;
    return menus.at(position)->menu();
}

void CMainFrame::ShowBusyMessage(const QString& text)
{
    SetMessageText(text);
    statusBar()->repaint();
}

void CMainFrame::SetMessageText(const QString& text)
{
    statusBar()->showMessage(text);
}

void CMainFrame::UpdateCommandStates()
{
    m_router->UpdateAll();
    if (m_wndCodePage)
        m_wndCodePage->Show(GetNoteBook());
    if (m_wndCounts)
        m_wndCounts->Watch(GetActiveNote() ? GetNotePanel()->GetEditPane()->GetTextCtrl() : nullptr);
}

// --- notebook and active note -----------------------------------------------------------------

bool CMainFrame::GetActiveNote(CNote** note) const
{
    CNote* active = IsBookOpen() ? GetNotePanel()->GetActiveNote() : nullptr;
    if (note)
        *note = active;
    return active != nullptr;
}

void CMainFrame::SetActiveNote(int serial, bool force)
{
    if (CNotePanel* panel = GetNotePanel())
        panel->SetActiveNote(serial, force);
}

void CMainFrame::UpdateTitle()
{
    const CNoteBook* book = GetNoteBook();
    if (book && book->GetPath().HasPath())
        // A name is bytes; shown as the file dialogs show it.
        setWindowTitle(QString("Pelmora - %1")
                           .arg(QFile::decodeName(QByteArray::fromStdString(book->GetPath().GetBaseName()))));
    else
        setWindowTitle(QStringLiteral("Pelmora"));
}

void CMainFrame::ReadAside(const std::function<void(const ReadProgress&)>& work)
{
    CSliceProgress progress(this, tr("Reading NoteBook..."));
    progress.RunAside([&work](const CSliceProgress::Report& report) {
        work(report);
        return true;
    });
}

void CMainFrame::StartWithoutFile()
{
    OfferRecovery();
    if (IsBookOpen() || !m_userSettings.m_bReopenLast || m_book->GetRecentPaths().empty())
        return;
    // A notebook gone since is no error at start: the Recent menu still tells of it.
    const std::string last = m_book->GetRecentPaths().front();
    std::error_code error;
    if (std::filesystem::is_regular_file(last, error))
        OpenBook(last);
}

void CMainFrame::OnAssociate()
{
    const QString program = QCoreApplication::applicationFilePath();
    if (program.isEmpty())
        return;
    // Silent on failure, as the Windows program was when it lacked the rights.
    if (CFileAssociation::Associate(program.toStdString()))
        AfxMessageBox(".pelm files have been successfully associated with Pelmora",
                      MB_OK | MB_ICONINFORMATION);
}

void CMainFrame::OnKeyboardShortcuts()
{
    if (!m_shortcutsDlg)
        m_shortcutsDlg = new CShortcutsDlg(*menuBar(), *m_router, this);
    else
        m_shortcutsDlg->Fill(*menuBar(), *m_router);
    m_shortcutsDlg->show();
    m_shortcutsDlg->raise();
    m_shortcutsDlg->activateWindow();
}

void CMainFrame::OnAbout()
{
    CAboutDlg dialog(this);
    dialog.exec();
}

// --- Format menu ------------------------------------------------------------------------------

void CMainFrame::SetNoteFont(const char* face)
{
    FillLogFont(m_textLogFont, face, Trunc(18 * g_scaleX), m_bBold ? kFontWeightBold : -1);
    FillLogFont(m_titleLogFont, face, Trunc(18 * g_scaleY), kFontWeightBold);
    ApplyZoom();
    if (GetActiveNote())
        GetNoteBook()->SetModified();
}

// The zoom changes what is shown only: the notebook keeps its face and height, and is not modified.
void CMainFrame::SetZoom(int zoom)
{
    zoom = std::clamp(zoom, CUserSettings::kMinZoom, CUserSettings::kMaxZoom);
    if (zoom == m_userSettings.m_zoom)
        return;
    m_userSettings.m_zoom = zoom;
    m_userSettings.Write();
    ApplyZoom();
}

void CMainFrame::ApplyZoom()
{
    m_textFont = ScaledFont(MakeQFont(m_textLogFont), m_userSettings.ZoomFactor());
    m_titleFont = ScaledFont(MakeQFont(m_titleLogFont), m_userSettings.ZoomFactor());
    if (!IsBookOpen())
        return;
    if (GetActiveNote())
        GetNotePanel()->UpdateEditorFont();
    GetNotePanel()->GetListPane()->ApplyFont();
}

QFont CMainFrame::GetListFont() const
{
    return ScaledFont(QApplication::font(), m_userSettings.ZoomFactor());
}

void CMainFrame::OnFont(int id)
{
    // The menu item's own text is the face: the menu is the one list of faces.
    // The access letter's mark is no part of the face.
    QString face = m_router->Action(id)->text();
    face.remove(QRegularExpression(QStringLiteral("&(?!&)")));
    face = face.left(255);
    SetNoteFont(face.toUtf8().constData());
}

void CMainFrame::OnBold()
{
    m_bBold = !m_bBold;
    const std::string face = m_textLogFont.lfFaceName;
    SetNoteFont(face.c_str());
}

void CMainFrame::OnWordWrap()
{
    m_bWordWrap = !m_bWordWrap;
    CNote* note = nullptr;
    if (GetActiveNote(&note)) {
        SetActiveNote(note->GetSerial(), true);
        GetNoteBook()->SetModified();
    }
}

// --- search -----------------------------------------------------------------------------------

void CMainFrame::OnFindNext()
{
    if (!IsBookOpen()) {
        AfxMessageBox("Please open a book to search.", MB_OK | MB_ICONINFORMATION);
        return;
    }
    WaitCursor wait;
    GetNotePanel()->FindNext(m_search, m_wndSearchBar->Edit()->text().trimmed().toStdString());
}

void CMainFrame::OnJumpToSearch()
{
    m_wndSearchBar->Edit()->setFocus(Qt::ShortcutFocusReason);
    m_wndSearchBar->Edit()->selectAll();
}

// --- view settings for the notebook file ------------------------------------------------------

void CMainFrame::GetPaneShares(std::int32_t& first, std::int32_t& second) const
{
    if (CNotePanel* panel = GetNotePanel())
        panel->GetPaneShares(first, second);
}

void CMainFrame::SetPaneShares(std::int32_t first, std::int32_t second)
{
    if (CNotePanel* panel = GetNotePanel())
        panel->SetPaneShares(first, second);
}

// --- window events ----------------------------------------------------------------------------

// Coming back to the window is when a change another program made to the notebook is noticed.
void CMainFrame::changeEvent(QEvent* event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        m_book->CheckDisk();
}

void CMainFrame::closeEvent(QCloseEvent* event)
{
    if (!ConfirmDiscard()) {
        event->ignore();
        return;
    }
    CloseBook();
    event->accept();
}

void CMainFrame::focusInEvent(QFocusEvent* event)
{
    QMainWindow::focusInEvent(event);
    if (m_wndHost)
        m_wndHost->setFocus();
}
