#pragma once

#include <QString>

#include <string>

class QWidget;

// The notebook open and save dialogs. A path is bytes, as the system has it: names that are not
// UTF-8 reach open() unchanged. Tests queue the file names the next dialogs give (an empty name is
// a cancelled dialog), as a user would choose them.
class CFileDialog
{
public:
    enum Mode
    {
        Open,
        Save
    };

    CFileDialog(Mode mode, QWidget* parent, const QString& title = {});

    // The chosen full path, or empty when the user cancelled.
    std::string DoModal();

    static void SetNextFileName(const QString& path);
    // A name as bytes, which need not be UTF-8.
    static void SetNextFilePath(const std::string& path);
    static bool HasQueuedAnswers();
    static void ClearQueuedAnswers();

    // "NoteBook (*.pelm)" and "Encrypted NoteBook (*.pelmx)"; the one chosen gives a name typed
    // without an extension its own.
    static QString Filter();

private:
    Mode m_mode;
    QWidget* m_parent;
    QString m_title;
};
