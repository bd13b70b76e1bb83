#include "platform/qt/CFileDialog.h"

#include <QFile>
#include <QFileDialog>

#include <deque>

namespace {

std::deque<std::string>& Queue()
{
    static std::deque<std::string> queue;
    return queue;
}

} // namespace

CFileDialog::CFileDialog(Mode mode, QWidget* parent, const QString& title)
    : m_mode(mode), m_parent(parent), m_title(title)
{
}

QString CFileDialog::Filter()
{
    return QStringLiteral("NoteBook (*.pelm);;Encrypted NoteBook (*.pelmx)");
}

std::string CFileDialog::DoModal()
{
    if (!Queue().empty()) {
        std::string path = Queue().front();
        Queue().pop_front();
        return path;
    }

    QFileDialog dialog(m_parent, m_title, QString(), Filter());
    dialog.setDefaultSuffix(QStringLiteral("pelm"));
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog](const QString& filter) {
        dialog.setDefaultSuffix(filter.contains(QLatin1String("pelmx")) ? QStringLiteral("pelmx")
                                                                        : QStringLiteral("pelm"));
    });
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
    return QFile::encodeName(dialog.selectedFiles().constFirst()).toStdString();
}

void CFileDialog::SetNextFileName(const QString& path)
{
    SetNextFilePath(QFile::encodeName(path).toStdString());
}

void CFileDialog::SetNextFilePath(const std::string& path)
{
    Queue().push_back(path);
}

bool CFileDialog::HasQueuedAnswers()
{
    return !Queue().empty();
}

void CFileDialog::ClearQueuedAnswers()
{
    Queue().clear();
}
