#pragma once

#include <QString>
#include <QStringList>

class QWidget;

// The notebook open and save dialogs. Tests queue the file names the next dialogs give (an empty
// name is a cancelled dialog), as a user would choose them.
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
    QString DoModal();

    static void SetNextFileName(const QString& path);
    static bool HasQueuedAnswers();
    static void ClearQueuedAnswers();

    static QString Filter();

private:
    Mode m_mode;
    QWidget* m_parent;
    QString m_title;
};
