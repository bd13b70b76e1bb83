#pragma once

#include <QString>
#include <QStringList>

#include <string>
#include <vector>

class QComboBox;
class QFileDialog;
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
        Save,
        OpenMany,
        // A new file, or an existing folder to write into: typing a folder's path chooses it.
        SaveFileOrFolder
    };

    CFileDialog(Mode mode, QWidget* parent, const QString& title = {});
    // For files other than notebooks: the filter as QFileDialog takes it, and the extension a
    // name typed without one gets.
    CFileDialog(Mode mode, QWidget* parent, const QString& title, const QString& filter,
                const QString& defaultSuffix);

    // The chosen full path, or empty when the user cancelled.
    std::string DoModal();
    // The files chosen in an OpenMany dialog; a queued answer holds them one to a line.
    std::vector<std::string> DoModalMany();

    // A list beside the file names to choose one item of (the Import dialog's encoding), the
    // first chosen at the start.
    void SetChoice(const QString& label, const QStringList& items);
    // The item chosen in the last run: a queued choice when there is one, else the first.
    const QString& GetChoice() const { return m_choice; }
    static void SetNextChoice(const QString& item);

    static void SetNextFileName(const QString& path);
    // A name as bytes, which need not be UTF-8.
    static void SetNextFilePath(const std::string& path);
    static bool HasQueuedAnswers();
    static void ClearQueuedAnswers();

    // "NoteBook (*.pelm)" and "Encrypted NoteBook (*.pelmx)"; the one chosen gives a name typed
    // without an extension its own.
    static QString Filter();

private:
    QComboBox* AddChoice(QFileDialog& dialog) const;

    Mode m_mode;
    QWidget* m_parent;
    QString m_title;
    QString m_filter;
    QString m_defaultSuffix;
    QString m_choiceLabel;
    QStringList m_choices;
    QString m_choice;
};
