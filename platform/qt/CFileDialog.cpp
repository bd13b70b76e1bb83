#include "platform/qt/CFileDialog.h"

#include <QFileDialog>

namespace {

QStringList& Queue()
{
    static QStringList queue;
    return queue;
}

} // namespace

CFileDialog::CFileDialog(Mode mode, QWidget* parent, const QString& title)
    : m_mode(mode), m_parent(parent), m_title(title)
{
}

QString CFileDialog::Filter()
{
    return QStringLiteral("NoteBook (*.pelm)");
}

QString CFileDialog::DoModal()
{
    if (!Queue().isEmpty())
        return Queue().takeFirst();

    QFileDialog dialog(m_parent, m_title, QString(), Filter());
    dialog.setDefaultSuffix(QStringLiteral("pelm"));
    if (m_mode == Open) {
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFile);
    } else {
        // The dialog asks before it overwrites a file.
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

void CFileDialog::SetNextFileName(const QString& path)
{
    Queue().append(path);
}

bool CFileDialog::HasQueuedAnswers()
{
    return !Queue().isEmpty();
}

void CFileDialog::ClearQueuedAnswers()
{
    Queue().clear();
}
