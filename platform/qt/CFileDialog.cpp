#include "platform/qt/CFileDialog.h"

#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>

#include <algorithm>
#include <deque>
#include <memory>
#include <optional>

namespace {

std::deque<std::string>& Queue()
{
    static std::deque<std::string> queue;
    return queue;
}

std::deque<QString>& ChoiceQueue()
{
    static std::deque<QString> queue;
    return queue;
}
// Qt's save dialog walks into a folder whose path is typed; this one takes it as the answer.
class CFolderOrFileDialog : public QFileDialog
{
public:
    using QFileDialog::QFileDialog;

    void accept() override
    {
        const auto* name = findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        const QStringList files = selectedFiles();
        if (name && !name->text().isEmpty() && files.size() == 1 && QFileInfo(files.first()).isDir())
            QDialog::accept();
        else
            QFileDialog::accept();
    }
};

} // namespace

CFileDialog::CFileDialog(Mode mode, QWidget* parent, const QString& title)
    : CFileDialog(mode, parent, title, Filter(), QStringLiteral("pelm"))
{
}

CFileDialog::CFileDialog(Mode mode, QWidget* parent, const QString& title, const QString& filter,
                         const QString& defaultSuffix)
    : m_mode(mode), m_parent(parent), m_title(title), m_filter(filter), m_defaultSuffix(defaultSuffix)
{
}

QString CFileDialog::Filter()
{
    return QStringLiteral("NoteBook (*.pelm);;Encrypted NoteBook (*.pelmx)");
}

std::string CFileDialog::DoModal()
{
    const std::vector<std::string> paths = DoModalMany();
    return paths.empty() ? std::string() : paths.front();
}

void CFileDialog::SetChoice(const QString& label, const QStringList& items)
{
    m_choiceLabel = label;
    m_choices = items;
    m_choice = items.value(0);
}

void CFileDialog::SetNextChoice(const QString& item)
{
    ChoiceQueue().push_back(item);
}

std::vector<std::string> CFileDialog::DoModalMany()
{
    if (!m_choices.isEmpty() && !ChoiceQueue().empty()) {
        m_choice = ChoiceQueue().front();
        ChoiceQueue().pop_front();
    }
    if (!Queue().empty()) {
        std::string answer = Queue().front();
        Queue().pop_front();
        std::vector<std::string> paths;
        for (std::size_t start = 0; start < answer.size();) {
            const std::size_t end = std::min(answer.find('\n', start), answer.size());
            paths.push_back(answer.substr(start, end - start));
            start = end + 1;
        }
        return paths;
    }

    // On the stack, as the toolkit's dialogs are made: only the folder's takes a class of ours.
    std::optional<CFolderOrFileDialog> folderDialog;
    std::optional<QFileDialog> fileDialog;
    if (m_mode == SaveFileOrFolder)
        folderDialog.emplace(m_parent, m_title, QString(), m_filter);
    else
        fileDialog.emplace(m_parent, m_title, QString(), m_filter);
    QFileDialog& dialog = folderDialog ? static_cast<QFileDialog&>(*folderDialog) : *fileDialog;
    if (m_mode == SaveFileOrFolder)
        dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setDefaultSuffix(m_defaultSuffix);
    if (m_filter == Filter())
        QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog](const QString& filter) {
            dialog.setDefaultSuffix(filter.contains(QLatin1String("pelmx")) ? QStringLiteral("pelmx")
                                                                            : QStringLiteral("pelm"));
        });
    if (m_mode == Open || m_mode == OpenMany) {
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(m_mode == Open ? QFileDialog::ExistingFile : QFileDialog::ExistingFiles);
    } else {
        // The dialog asks before it overwrites a file.
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
    }
    QComboBox* choices = AddChoice(dialog);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    if (choices)
        m_choice = choices->currentText();
    std::vector<std::string> paths;
    for (const QString& file : dialog.selectedFiles())
        paths.push_back(QFile::encodeName(file).toStdString());
    return paths;
}

// The system's own dialog takes no widgets of ours: Qt's takes them in a row of its grid.
QComboBox* CFileDialog::AddChoice(QFileDialog& dialog) const
{
    if (m_choices.isEmpty())
        return nullptr;
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    auto* grid = qobject_cast<QGridLayout*>(dialog.layout());
    if (!grid)
        return nullptr;
    auto* choices = new QComboBox(&dialog);
    choices->addItems(m_choices);
    auto* label = new QLabel(m_choiceLabel, &dialog);
    label->setBuddy(choices);
    const int row = grid->rowCount();
    grid->addWidget(label, row, 0);
    grid->addWidget(choices, row, 1);
    return choices;
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
    return !Queue().empty() || !ChoiceQueue().empty();
}

void CFileDialog::ClearQueuedAnswers()
{
    Queue().clear();
    ChoiceQueue().clear();
}
