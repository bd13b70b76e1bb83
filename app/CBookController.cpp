#include "app/CBookController.h"

#include "app/CHostWnd.h"
#include "app/CMainFrame.h"
#include "app/CPasswordDlg.h"
#include "model/CNoteBook.h"
#include "platform/MessageBox.h"
#include "platform/qt/CFileDialog.h"
#include "platform/qt/WaitCursor.h"
#include "views/CListCtrlEx.h"
#include "views/CNoteListCtrl.h"
#include "views/CNotePanel.h"

CBookController::CBookController(CMainFrame& frame) : m_frame(frame) {}

CBookController::~CBookController() = default;

void CBookController::CreateBook()
{
    m_pNoteBook = std::make_unique<CNoteBook>();
    m_pNotePanel = std::make_unique<CNotePanel>(*m_pNoteBook, m_frame);
    m_pNotePanel->Create(m_frame.GetHost());
    m_frame.GetHost()->SetContent(m_pNotePanel.get());
    m_frame.UpdateCommandStates();
}

// The panel goes before the notebook it shows.
void CBookController::Close()
{
    m_pNotePanel.reset();
    m_pNoteBook.reset();
    m_frame.UpdateTitle();
    m_frame.UpdateCommandStates();
}

bool CBookController::ConfirmDiscard()
{
    if (!IsOpen() || !m_pNoteBook->IsModified())
        return true;
    switch (AfxMessageBox("Do you wish to save your changes?",
                          MB_YESNOCANCEL | MB_ICONQUESTION | MB_DEFBUTTON3)) {
    case IDYES:
    case IDOK:
        return Save();
    case IDNO:
        return true;
    default:
        return false;
    }
}

void CBookController::New()
{
    if (m_pNoteBook) {
        if (!ConfirmDiscard())
            return;
        Close();
    }
    CreateBook();
}

void CBookController::Open()
{
    if (m_pNoteBook && !ConfirmDiscard())
        return;
    const QString path = CFileDialog(CFileDialog::Open, &m_frame, tr("Select NoteBook")).DoModal();
    if (path.isEmpty())
        return;
    Close();
    OpenFile(path.toStdString());
}

void CBookController::OpenFile(const std::string& path)
{
    CreateBook();
    m_frame.SetMessageText(tr("Reading NoteBook..."));
    bool read = false;
    {
        WaitCursor wait;
        read = m_pNoteBook->ReadFile(path);
    }
    if (read) {
        m_pNotePanel->ReloadNoteList();
        // The keys go to the list first, so the notebook can be used from the keyboard at once.
        m_pNotePanel->GetListPane()->GetListCtrl()->setFocus(Qt::OtherFocusReason);
    } else {
        Close();
    }
    m_frame.SetMessageText(tr("Ready"));
    m_frame.UpdateCommandStates();
}

void CBookController::OpenDropped(const std::string& path)
{
    if (m_pNoteBook && !ConfirmDiscard())
        return;
    Close();
    OpenFile(path);
}

bool CBookController::Save()
{
    if (!m_pNoteBook->GetPath().HasPath())
        return SaveAs();
    const std::string path = m_pNoteBook->GetPath().GetPath();
    return Write(path);
}

bool CBookController::SaveAs()
{
    const QString path = CFileDialog(CFileDialog::Save, &m_frame).DoModal();
    return !path.isEmpty() && Write(path.toStdString());
}

bool CBookController::ConfirmCodePage()
{
    const CNote* note = nullptr;
    if (!m_pNoteBook->FindUnstorable(note))
        return true;
    const std::string holder = note ? "The note \"" + note->GetTitle() + "\"" : std::string("The password");
    const std::string question =
        holder + " holds characters that Western (Windows-1252) cannot store.\n\n"
                 "Save the notebook as Unicode (UTF-8)? The Windows program shows the accented letters "
                 "of a UTF-8 notebook wrongly. Choose No to go back without saving.";
    if (AfxMessageBox(question, MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) != IDYES)
        return false;
    m_pNoteBook->ChangeEncoding(TextEncoding::utf8);
    return true;
}

// Stores the open note's typing, then writes the whole notebook; the writer reports failures.
bool CBookController::Write(const std::string& path)
{
    m_pNotePanel->StoreActiveText();
    if (!ConfirmCodePage())
        return false;
    m_frame.SetMessageText(tr("Saving NoteBook..."));
    bool written = false;
    {
        WaitCursor wait;
        written = m_pNoteBook->WriteFile(path);
    }
    m_frame.SetMessageText(tr("Ready"));
    m_frame.UpdateCommandStates();
    return written;
}

void CBookController::SetPassword()
{
    if (!m_pNoteBook)
        return;
    CPasswordDlg dialog(&m_frame);
    dialog.m_password = QString::fromStdString(m_pNoteBook->GetPassword());
    if (dialog.Ask(tr("Enter new password for NoteBook:"), true) == IDOK)
        m_pNoteBook->SetPassword(dialog.m_password.toStdString());
}
