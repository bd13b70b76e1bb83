#pragma once

#include <QObject>

#include <memory>
#include <string>

class CMainFrame;
class CNoteBook;
class CNotePanel;

// Coordinates the notebook lifecycle for one main frame: New, Open, Save, Save As, the save
// prompt, closing and the password. It owns the open notebook and the panel that shows it, which
// are made and dropped together. The frame owns the controller and outlives it.
class CBookController : public QObject
{
    Q_OBJECT

public:
    explicit CBookController(CMainFrame& frame);
    ~CBookController() override;

    CNoteBook* GetNoteBook() const { return m_pNoteBook.get(); }
    CNotePanel* GetNotePanel() const { return m_pNotePanel.get(); }
    bool IsOpen() const { return m_pNoteBook && m_pNotePanel; }

    // The Book menu's commands.
    void New();
    void Open();
    bool Save();
    bool SaveAs();
    void SetPassword();

    // Reads the notebook at path into a new notebook and panel; on failure none is open.
    void OpenFile(const std::string& path);
    // Open without the dialog, for a notebook file dropped on the window: the save prompt first.
    void OpenDropped(const std::string& path);
    // The save prompt; false when the user (or a failed save) stops the operation.
    bool ConfirmDiscard();
    void Close();

private:
    void CreateBook();
    // Asks before a Windows-1252 notebook that holds a character the code page lacks is saved as
    // UTF-8; false when the user goes back.
    bool ConfirmCodePage();
    bool Write(const std::string& path);

    CMainFrame& m_frame;
    std::unique_ptr<CNotePanel> m_pNotePanel;
    std::unique_ptr<CNoteBook> m_pNoteBook;
};
