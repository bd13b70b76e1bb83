#include "CMainFrame.h"

#include "CAboutDlg.h"
#include "CFileAssociation.h"
#include "CFileDialog.h"
#include "CHostWnd.h"
#include "CListCtrlEx.h"
#include "CLockKeys.h"
#include "CNoteBook.h"
#include "CNoteEditCtrl.h"
#include "CNoteListCtrl.h"
#include "CNotePanel.h"
#include "CPasswordDlg.h"
#include "CPelmoraApp.h"
#include "CRichEditCtrlEx.h"
#include "CSearchBar.h"
#include "CommandIds.h"
#include "DebugTrace.h"
#include "MessageBox.h"
#include "QtFont.h"
#include "TextPositions.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QScreen>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>
#include <QWindow>

#include <algorithm>

namespace {

constexpr std::uint32_t kPlacementLength = sizeof(WindowPlacement);

// Shows the wait cursor for as long as it lives.
class WaitCursor
{
public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

int Trunc(double value)
{
    return static_cast<int>(value);
}

} // namespace

CMainFrame::CMainFrame() : m_router(std::make_unique<CCommandRouter>(this))
{
    SetAppMainFrame(this);
}

CMainFrame::~CMainFrame()
{
    // Focus moves while the children go; no update may reach a frame half torn down.
    disconnect(qApp, nullptr, this, nullptr);
    qApp->removeEventFilter(this);
    disconnect(QGuiApplication::clipboard(), nullptr, this, nullptr);
    CloseBook();
    if (GetAppMainFrame() == this)
        SetAppMainFrame(nullptr);
}

CMainFrame* CMainFrame::Of(const QWidget* widget)
{
    return widget ? qobject_cast<CMainFrame*>(widget->window()) : nullptr;
}

bool CMainFrame::Create()
{
    setWindowIcon(QIcon(":/icons/pelmora.svg"));
    SetNoteFont("Verdana");
    CreateCommands();
    CreateContextMenus();

    m_wndHost = new CHostWnd(this);
    setCentralWidget(m_wndHost);

    CreateMenus();
    CreateToolBar();
    CreateStatusBar();
    CreateSearchBar();

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
    CreateNoteCommands();
    CreateFormatCommands();
    m_router->Add(ID_APP_ABOUT, tr("&About Pelmora..."),
                  tr("Display program information, version number and copyright\nAbout"),
                  [this] { OnAbout(); });
}

void CMainFrame::CreateBookCommands()
{
    auto bookOpen = [this](CCmdUI& ui) { ui.Enable(IsBookOpen()); };
    m_router->Add(ID_FILE_NEW, tr("&New"), tr("Start a new note book.\nNew"), [this] { OnFileNew(); });
    m_router->Add(ID_FILE_OPEN, tr("&Open"), tr("Open an existing note book.\nOpen"),
                  [this] { OnFileOpen(); });
    m_router->Add(
        ID_FILE_SAVE, tr("&Save\tCtrl+S"), tr("Save the current note book.\nSave"), [this] { SaveBook(); },
        bookOpen);
    m_router->Add(
        ID_FILE_SAVE_AS, tr("Save &As..."), tr("Save the current notebook.\nSave As"),
        [this] { SaveBookAs(); },
        [this](CCmdUI& ui) { ui.Enable(IsBookOpen() && m_pNoteBook->GetPath().HasPath()); });
    m_router->Add(
        ID_SET_PASSWORD, tr("Set &Password..."),
        tr("Locks the notebook with the user password given\nSet Password"), [this] { OnSetPassword(); },
        [this](CCmdUI& ui) { ui.Enable(m_pNoteBook != nullptr); });
    m_router->Add(ID_ASSOCIATE, tr("Associate Pelmora Files"),
                  tr("Associates Pelmora book files with Pelmora.\nAssociate"), [this] { OnAssociate(); });
    m_router->Add(ID_APP_EXIT, tr("E&xit"), tr("Quit the application; prompts to save documents\nExit"),
                  [this] { close(); });
    m_router->AddShortcut(ID_FILE_SAVE, QKeySequence(Qt::CTRL | Qt::Key_S));
}

void CMainFrame::CreateNoteCommands()
{
    auto noteActive = [this] { return GetActiveNote(); };
    m_router->Add(
        ID_UNDO_CHANGES, tr("&Undo Changes\tCtrl+Alt+Z"), tr("Undo all changes made to this note."),
        [this] { OnUndoChanges(); },
        [this, noteActive](CCmdUI& ui) { ui.Enable(noteActive() && m_pNoteBook->IsModified()); });
    AddClipboardCommand(ID_EDIT_CUT, tr("Cu&t\tCtrl+X"),
                        tr("Cut the selection and put it on the Clipboard\nCut"), &CNoteEditCtrl::Cut,
                        &CNoteEditCtrl::OnUpdateCut);
    AddClipboardCommand(ID_EDIT_COPY, tr("&Copy\tCtrl+C"),
                        tr("Copy the selection and put it on the Clipboard\nCopy"), &CNoteEditCtrl::Copy,
                        &CNoteEditCtrl::OnUpdateCopy);
    AddClipboardCommand(ID_EDIT_PASTE, tr("&Paste\tCtrl+V"), tr("Insert Clipboard contents\nPaste"),
                        &CNoteEditCtrl::Paste, &CNoteEditCtrl::OnUpdatePaste);
    m_router->Add(
        ID_NEW_NOTE, tr("&New Note\tCtrl+N"), tr("Add a new note.\nNew Note"), [this] { OnNewNote(); },
        [this](CCmdUI& ui) { ui.Enable(m_pNoteBook != nullptr); });
    m_router->Add(
        ID_RENAME_NOTE, tr("&Rename"), tr("Rename the selected note.\nRename"), [this] { OnRenameNote(); },
        [this](CCmdUI& ui) { ui.Enable(m_pNoteBook != nullptr); });
    m_router->Add(
        ID_DELETE_NOTE, tr("&Delete Note\tCtrl+Del"), tr("Delete the currently selected note.\nDelete Note"),
        [this] { OnDeleteNote(); }, [this](CCmdUI& ui) { ui.Enable(m_pNotePanel != nullptr); });
    m_router->Add(
        ID_MOVE_UP, tr("Move Up"), tr("Move the selected up.\nMove Up"), [this] { OnMoveNote(true); },
        [this](CCmdUI& ui) {
            ui.Enable(false);
            if (IsBookOpen())
                m_pNotePanel->m_listPane->OnUpdateMoveUp(&ui);
        });
    m_router->Add(
        ID_MOVE_DOWN, tr("Move Down"), tr("Move the selected down.\nMove Down"),
        [this] { OnMoveNote(false); },
        [this](CCmdUI& ui) {
            ui.Enable(false);
            if (IsBookOpen())
                m_pNotePanel->m_listPane->OnUpdateMoveDown(&ui);
        });
    m_router->Add(ID_FIND_NEXT, tr("Find Next\tF3"), tr("Find next search result.\nFind Next"),
                  [this] { OnFindNext(); });
    m_router->Add(ID_JUMP_TO_SEARCH, tr("Jump to Search Bar\tCtrl+F"),
                  tr("Jump to the Search Bar.\nGo To Search"), [this] { OnJumpToSearch(); });
    m_router->Add(
        ID_SORT_NOTES, tr("Sort &Alphabetically"), tr("Sort all Notes Alphabetically\nSort Alphabetically"),
        [this] { OnSortNotes(); }, [this](CCmdUI& ui) { ui.Enable(IsBookOpen()); });

    m_router->AddShortcut(ID_EDIT_COPY, QKeySequence(Qt::CTRL | Qt::Key_C));
    m_router->AddShortcut(ID_NEW_NOTE, QKeySequence(Qt::CTRL | Qt::Key_N));
    m_router->AddShortcut(ID_EDIT_PASTE, QKeySequence(Qt::CTRL | Qt::Key_V));
    m_router->AddShortcut(ID_DELETE_NOTE, QKeySequence(Qt::CTRL | Qt::Key_Delete));
    m_router->AddShortcut(ID_EDIT_CUT, QKeySequence(Qt::CTRL | Qt::Key_X));
    m_router->AddShortcut(ID_UNDO_CHANGES, QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_Z));
    m_router->AddShortcut(ID_FIND_NEXT, QKeySequence(Qt::Key_F3));
    m_router->AddShortcut(ID_JUMP_TO_SEARCH, QKeySequence(Qt::CTRL | Qt::Key_F));
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
                (m_pNotePanel->m_editPane.get()->*run)();
        },
        [this, update](CCmdUI& ui) {
            ui.Enable(false);
            if (GetActiveNote())
                (m_pNotePanel->m_editPane.get()->*update)(&ui);
        });
}

void CMainFrame::CreateFormatCommands()
{
    static const char* const faces[] = {"Times New Roman", "Tahoma",      "Verdana",
                                        "Lucida Console",  "Courier New", "Arial"};
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
    auto noteActive = [this](CCmdUI& ui) { ui.Enable(GetActiveNote()); };
    m_router->Add(
        ID_BOLD, tr("&Bold"), tr("Makes font bold.\nBold"), [this] { OnBold(); },
        [this, noteActive](CCmdUI& ui) {
            noteActive(ui);
            ui.SetCheck(m_bBold);
        });
    m_router->Add(
        ID_WORD_WRAP, tr("&Word Wrap"), tr("Word wrap the note text.\nWord Wrap"), [this] { OnWordWrap(); },
        [this, noteActive](CCmdUI& ui) {
            noteActive(ui);
            ui.SetCheck(m_bWordWrap);
        });
    m_router->SetCheckable(ID_BOLD);
    m_router->SetCheckable(ID_WORD_WRAP);
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
    AddMenu(tr("&Book"), {ID_FILE_NEW, ID_FILE_OPEN, 0, ID_FILE_SAVE, ID_FILE_SAVE_AS, 0, ID_SET_PASSWORD, 0,
                          ID_ASSOCIATE, 0, ID_APP_EXIT});
    AddMenu(tr("&Note"), {ID_UNDO_CHANGES, 0, ID_EDIT_CUT, ID_EDIT_COPY, ID_EDIT_PASTE, 0, ID_NEW_NOTE,
                          ID_RENAME_NOTE, ID_DELETE_NOTE, 0, ID_MOVE_UP, ID_MOVE_DOWN, 0, ID_SORT_NOTES, 0,
                          ID_FIND_NEXT, ID_JUMP_TO_SEARCH});
    AddMenu(tr("&Format"), {ID_FONT_TIMES, ID_FONT_TAHOMA, ID_FONT_VERDANA, ID_FONT_LUCIDA, ID_FONT_COURIER,
                            ID_FONT_ARIAL, 0, ID_BOLD, 0, ID_WORD_WRAP});
    AddMenu(tr("&Help"), {ID_APP_ABOUT});
}

void CMainFrame::CreateToolBar()
{
    struct Button
    {
        int id;
        const char* image;
    };
    static const Button buttons[] = {
        {ID_NEW_NOTE, "new-note"},
        {ID_DELETE_NOTE, "delete-note"},
        {0, nullptr},
        {ID_FILE_SAVE, "save"},
        {0, nullptr},
        {ID_MOVE_UP, "move-up"},
        {ID_MOVE_DOWN, "move-down"},
        {0, nullptr},
        {ID_EDIT_CUT, "cut"},
        {ID_EDIT_COPY, "copy"},
        {ID_EDIT_PASTE, "paste"},
    };
    m_wndToolBar = addToolBar(tr("Toolbar"));
    m_wndToolBar->setObjectName("toolbar");
    m_wndToolBar->setMovable(false);
    m_wndToolBar->setFloatable(false);
    m_wndToolBar->toggleViewAction()->setEnabled(false);
    // The images stay 16 x 15; the buttons grow with the scale factors.
    m_wndToolBar->setIconSize(QSize(16, 15));
    const QSize buttonSize(Trunc(23 * g_scaleX), Trunc(22 * g_scaleY));
    for (const Button& button : buttons) {
        if (button.id == 0) {
            m_wndToolBar->addSeparator();
            continue;
        }
        QAction* action = m_router->Action(button.id);
        action->setIcon(QIcon(QString(":/icons/toolbar/%1.svg").arg(button.image)));
        m_wndToolBar->addAction(action);
        if (QWidget* widget = m_wndToolBar->widgetForAction(action))
            widget->setFixedSize(buttonSize);
    }
}

void CMainFrame::CreateStatusBar()
{
    static const char* const names[] = {"CAP", "NUM", "SCRL"};
    for (int i = 0; i < 3; ++i) {
        m_indicators[i] = new QLabel(tr(names[i]), this);
        m_indicators[i]->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        m_indicators[i]->setEnabled(false);
        statusBar()->addPermanentWidget(m_indicators[i]);
    }
    SetMessageText(tr("Ready"));
    UpdateIndicators();
    qApp->installEventFilter(this);
}

void CMainFrame::UpdateIndicators()
{
    CLockKeys keys;
    if (!CLockKeys::Query(keys))
        return;
    m_indicators[0]->setEnabled(keys.caps);
    m_indicators[1]->setEnabled(keys.num);
    m_indicators[2]->setEnabled(keys.scroll);
}

bool CMainFrame::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::WindowActivate) {
        UpdateIndicators();
    } else if (event->type() == QEvent::KeyRelease) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_CapsLock || key == Qt::Key_NumLock || key == Qt::Key_ScrollLock)
            UpdateIndicators();
    }
    return QMainWindow::eventFilter(watched, event);
}

void CMainFrame::CreateContextMenus()
{
    m_contextMenu = std::make_unique<QMenu>();
    auto add = [](QMenu* menu, const QString& text, int id) { menu->addAction(text)->setData(id); };
    QMenu* list = m_contextMenu->addMenu(tr("List"));
    add(list, tr("&Rename"), ID_RENAME_NOTE);
    list->addSeparator();
    add(list, tr("&Delete"), ID_DELETE_NOTE);
    QMenu* editor = m_contextMenu->addMenu(tr("Editor"));
    add(editor, tr("&Cut"), ID_EDIT_CUT);
    add(editor, tr("&Copy"), ID_EDIT_COPY);
    add(editor, tr("&Paste"), ID_EDIT_PASTE);
}

void CMainFrame::CreateSearchBar()
{
    m_wndSearchBar = new CSearchBar(this);
    connect(m_wndSearchBar, &CSearchBar::FindNext, this, [this] { m_router->Run(ID_FIND_NEXT); });
    m_wndSearchBar->raise();
    m_wndSearchBar->show();
}

// The search bar takes the free part of the toolbar row, right of the last button and up to two
// pixels before the row's end. The row is measured from its own top, since the menu bar here lies
// inside the window above it.
void CMainFrame::LayoutSearchBar()
{
    if (!m_wndSearchBar || !m_wndToolBar)
        return;
    const QList<QAction*> actions = m_wndToolBar->actions();
    QWidget* last = actions.isEmpty() ? nullptr : m_wndToolBar->widgetForAction(actions.constLast());
    if (!last)
        return;
    const QRect t = m_wndToolBar->geometry();
    const QRect b = last->geometry();
    const int left = b.left() + b.width() + (t.height() - (b.top() + b.height())) + 1;
    const int top = t.top() + 2;
    const int right = std::max(t.left() + t.width() - 2, left);
    const int bottom = t.top() + t.height() - 2;
    m_wndSearchBar->setGeometry(left, top, right - left, bottom - top);
    m_wndSearchBar->raise();
}

QMenu* CMainFrame::GetContextSubMenu(int position) const
{
    const QList<QAction*> menus = m_contextMenu->actions();
    if (position < 0 || position >= menus.size())
        return nullptr;
    return menus.at(position)->menu();
}

void CMainFrame::SetMessageText(const QString& text)
{
    statusBar()->showMessage(text);
}

void CMainFrame::UpdateCommandStates()
{
    m_router->UpdateAll();
}

// --- notebook and active note -----------------------------------------------------------------

bool CMainFrame::GetActiveNote(CNote** note) const
{
    if (note)
        *note = m_pActiveNote;
    return m_pActiveNote != nullptr;
}

void CMainFrame::SetActiveNote(int serial, bool force)
{
    DebugTrace("Setting Active Note to %d...", serial);
    if (m_pActiveNote) {
        if (!force && m_pActiveNote->GetSerial() == serial)
            return;
        m_pNotePanel->m_editPane->SaveText();
        m_pNotePanel->m_editPane->CloseNote();
        m_pNotePanel->update();
    }
    m_pActiveNote = nullptr;
    if (serial != -1 && m_pNoteBook) {
        m_pActiveNote = m_pNoteBook->FindNote(serial);
        if (m_pActiveNote) {
            m_pNotePanel->m_listPane->SelectNote(serial);
            m_pNotePanel->m_editPane->OpenNote(m_pActiveNote);
        }
    }
    UpdateCommandStates();
}

void CMainFrame::CloseBook()
{
    m_pActiveNote = nullptr;
    m_pNoteBook.reset();
    m_pNotePanel.reset();
    UpdateTitle();
    UpdateCommandStates();
}

void CMainFrame::UpdateTitle()
{
    if (m_pNoteBook && m_pNoteBook->GetPath().HasPath())
        setWindowTitle(
            QString("Pelmora - %1").arg(QString::fromStdString(m_pNoteBook->GetPath().GetBaseName())));
    else
        setWindowTitle(QStringLiteral("Pelmora"));
}

void CMainFrame::SetNoteFont(const char* face)
{
    LogFont title;
    FillLogFont(m_textLogFont, face, Trunc(18 * g_scaleX), m_bBold ? kFontWeightBold : -1);
    FillLogFont(title, face, Trunc(18 * g_scaleY), kFontWeightBold);
    m_textFont = MakeQFont(m_textLogFont);
    m_titleFont = MakeQFont(title);
    if (m_pActiveNote) {
        m_pNotePanel->UpdateEditorFont();
        m_pNoteBook->SetModified();
    }
}

void CMainFrame::NewBook()
{
    m_pNoteBook = std::make_unique<CNoteBook>();
    CreatePanel();
}

void CMainFrame::CreatePanel()
{
    m_pNotePanel = std::make_unique<CNotePanel>();
    m_pNotePanel->Create(m_wndHost, this);
    UpdateCommandStates();
}

bool CMainFrame::ConfirmDiscard()
{
    if (!IsBookOpen() || !m_pNoteBook->IsModified())
        return true;
    switch (AfxMessageBox("Do you wish to save your changes?",
                          MB_YESNOCANCEL | MB_ICONQUESTION | MB_DEFBUTTON3)) {
    case IDYES:
    case IDOK:
        return SaveBook();
    case IDNO:
        return true;
    default:
        return false;
    }
}

void CMainFrame::OpenBook(const std::string& path)
{
    NewBook();
    SetMessageText(tr("Reading NoteBook..."));
    bool read = false;
    {
        WaitCursor wait;
        read = m_pNoteBook->ReadFile(path);
    }
    if (read) {
        m_pNotePanel->ReloadNoteList();
        // The keys go to the list first, so the notebook can be used from the keyboard at once.
        m_pNotePanel->m_listPane->GetListCtrl()->setFocus(Qt::OtherFocusReason);
    } else {
        CloseBook();
    }
    SetMessageText(tr("Ready"));
    UpdateCommandStates();
}

bool CMainFrame::SaveBook()
{
    if (!m_pNoteBook->GetPath().HasPath())
        return SaveBookAs();
    const std::string path = m_pNoteBook->GetPath().GetPath();
    return WriteBook(path);
}

bool CMainFrame::SaveBookAs()
{
    const QString path = CFileDialog(CFileDialog::Save, this).DoModal();
    return !path.isEmpty() && WriteBook(path.toStdString());
}

// Stores the open note's typing, then writes the whole notebook; the writer reports failures.
bool CMainFrame::WriteBook(const std::string& path)
{
    SetMessageText(tr("Saving NoteBook..."));
    bool written = false;
    {
        WaitCursor wait;
        if (m_pActiveNote)
            m_pNotePanel->m_editPane->SaveText();
        written = m_pNoteBook->WriteFile(path);
    }
    SetMessageText(tr("Ready"));
    UpdateCommandStates();
    return written;
}

// --- Book menu --------------------------------------------------------------------------------

void CMainFrame::OnFileNew()
{
    if (m_pNoteBook) {
        if (!ConfirmDiscard())
            return;
        CloseBook();
    }
    NewBook();
}

void CMainFrame::OnFileOpen()
{
    if (m_pNoteBook && !ConfirmDiscard())
        return;
    const QString path = CFileDialog(CFileDialog::Open, this, tr("Select NoteBook")).DoModal();
    if (path.isEmpty())
        return;
    CloseBook();
    OpenBook(path.toStdString());
}

void CMainFrame::OnSetPassword()
{
    if (!m_pNoteBook)
        return;
    CPasswordDlg dialog(this);
    dialog.m_password = QString::fromStdString(m_pNoteBook->GetPassword());
    if (dialog.Ask(tr("Enter new password for NoteBook:"), true) == IDOK)
        m_pNoteBook->SetPassword(dialog.m_password.toStdString());
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

void CMainFrame::OnAbout()
{
    CAboutDlg dialog(this);
    dialog.exec();
}

bool CMainFrame::AskPassword(const std::string& prompt, std::string& password)
{
    CPasswordDlg dialog(this);
    if (dialog.Ask(QString::fromStdString(prompt), true) != IDOK)
        return false;
    password = dialog.m_password.toStdString();
    return true;
}

// --- Note and Format menus --------------------------------------------------------------------

void CMainFrame::OnUndoChanges()
{
    if (m_pActiveNote)
        m_pNotePanel->m_editPane->RestoreText(m_pActiveNote->GetText());
}

void CMainFrame::OnNewNote()
{
    m_pNoteBook->AddNote(false, true);
    m_pNotePanel->ReloadNoteList();
}

void CMainFrame::OnRenameNote()
{
    if (m_pNotePanel)
        m_pNotePanel->m_listPane->RenameSelected();
}

void CMainFrame::OnDeleteNote()
{
    if (!m_pNotePanel)
        return;
    const int mark = m_pNotePanel->m_listPane->GetSelectionMark();
    if (mark == -1)
        return;
    SetActiveNote(-1, true);
    m_pNoteBook->RemoveNote(m_pNotePanel->m_listPane->GetItemSerial(mark));
    m_pNotePanel->ReloadNoteList();
}

void CMainFrame::OnMoveNote(bool up)
{
    if (!IsBookOpen())
        return;
    m_pNoteBook->SetModified();
    if (up)
        m_pNotePanel->m_listPane->MoveSelectedUp();
    else
        m_pNotePanel->m_listPane->MoveSelectedDown();
}

void CMainFrame::OnSortNotes()
{
    m_pNoteBook->SortByTitle();
    m_pNotePanel->ReloadNoteList();
}

void CMainFrame::OnFont(int id)
{
    // The menu item's own text is the face: the menu is the one list of faces.
    const QString face = m_router->Action(id)->text().left(255);
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
    if (m_pActiveNote) {
        SetActiveNote(m_pActiveNote->GetSerial(), true);
        m_pNoteBook->SetModified();
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
    const std::string text = m_wndSearchBar->Edit()->text().trimmed().toStdString();
    if (text.empty()) {
        AfxMessageBox("Please enter text to search for.", MB_OK | MB_ICONINFORMATION);
        return;
    }
    if (m_pActiveNote)
        m_pNotePanel->m_editPane->SaveText();
    const int count = m_search.Search(m_pNoteBook.get(), text);
    if (count <= 0) {
        AfxMessageBox("Nothing found.", MB_OK | MB_ICONINFORMATION);
        return;
    }
    SetMessageText(QString("%1 occurrences found.").arg(count));
    const SearchHit* hit = m_search.GetCurrentHit();
    if (hit && m_pNoteBook->FindNote(hit->serial))
        ShowSearchHit(*hit, static_cast<int>(text.size()));
}

void CMainFrame::ShowSearchHit(const SearchHit& hit, int length)
{
    if (hit.kind == SearchHit::Title) {
        SetActiveNote(-1, true);
        m_pNotePanel->m_listPane->GetListCtrl()->setFocus(Qt::OtherFocusReason);
        m_pNotePanel->m_listPane->SelectNote(hit.serial);
        return;
    }
    SetActiveNote(hit.serial, false);
    // Hits count bytes of UTF-8; the text control counts characters.
    const std::string& text = m_pActiveNote->GetText();
    const auto start = static_cast<std::size_t>(hit.position);
    m_pNotePanel->m_editPane->GetTextCtrl()->SelectAndScroll(CharFromByteOffset(text, start),
                                                             CharFromByteOffset(text, start + length));
}

void CMainFrame::OnJumpToSearch()
{
    m_wndSearchBar->Edit()->setFocus(Qt::ShortcutFocusReason);
    m_wndSearchBar->Edit()->selectAll();
}

// --- view settings for the notebook file ------------------------------------------------------

void CMainFrame::GetWindowPlacement(WindowPlacement& placement) const
{
    placement = WindowPlacement{};
    placement.length = kPlacementLength;
    placement.showCmd = isMinimized() ? SW_SHOWMINIMIZED : isMaximized() ? SW_SHOWMAXIMIZED : SW_SHOWNORMAL;
    placement.minX = placement.minY = placement.maxX = placement.maxY = -1;
    const QRect normal = normalGeometry().isValid() ? normalGeometry() : geometry();
    placement.left = normal.left();
    placement.top = normal.top();
    placement.right = normal.left() + normal.width();
    placement.bottom = normal.top() + normal.height();
}

void CMainFrame::SetWindowPlacement(const WindowPlacement& placement)
{
    QRect normal(placement.left, placement.top, placement.right - placement.left,
                 placement.bottom - placement.top);
    normal.setSize(normal.size().expandedTo(minimumSize()));
    // Like the system's own placement call, keep the window on a screen that exists.
    const QScreen* screen = QGuiApplication::screenAt(normal.center());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (screen && !screen->availableGeometry().intersects(normal)) {
        const QRect area = screen->availableGeometry();
        normal.moveTopLeft(area.topLeft());
        normal.setSize(normal.size().boundedTo(area.size()));
    }
    if (isMaximized() || isMinimized())
        showNormal();
    setGeometry(normal);
    switch (placement.showCmd) {
    case SW_SHOWMINIMIZED:
    case SW_MINIMIZE:
    case SW_SHOWMINNOACTIVE:
        showMinimized();
        break;
    case SW_SHOWMAXIMIZED:
        showMaximized();
        break;
    default:
        break;
    }
}

void CMainFrame::GetPaneShares(std::int32_t& first, std::int32_t& second) const
{
    if (m_pNotePanel)
        m_pNotePanel->GetPaneShares(first, second);
}

void CMainFrame::SetPaneShares(std::int32_t first, std::int32_t second)
{
    if (m_pNotePanel)
        m_pNotePanel->SetPaneShares(first, second);
}

// --- window events ----------------------------------------------------------------------------

void CMainFrame::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    LayoutSearchBar();
}

void CMainFrame::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    LayoutSearchBar();
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
