#include "app/CPasswordDlg.h"

#include "platform/MessageBox.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <deque>

namespace {

struct Answer
{
    int result;
    QString password;
};

std::deque<Answer>& Queue()
{
    static std::deque<Answer> queue;
    return queue;
}

} // namespace

CPasswordDlg::CPasswordDlg(QWidget* parent)
    : QDialog(parent), m_wndPrompt(new QLabel(tr("Enter Password:"), this)), m_wndEdit(new QLineEdit(this))
{
    setWindowTitle(tr("Enter Password"));
    m_wndEdit->setEchoMode(QLineEdit::Password);
    m_wndEdit->setMaxLength(kMaxLength);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &CPasswordDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CPasswordDlg::reject);
    connect(m_wndEdit, &QLineEdit::textEdited, this, [this](const QString& text) {
        m_wndEdit->setMaxLength(qMax(m_maxLength, static_cast<int>(text.size())));
    });

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_wndPrompt);
    layout->addWidget(m_wndEdit);
    layout->addWidget(buttons);
    setMinimumWidth(240);
}

int CPasswordDlg::Ask(const QString& prompt, bool validate)
{
    m_bValidate = validate;
    m_promptText = prompt;
    if (!Queue().empty()) {
        const Answer answer = Queue().front();
        Queue().pop_front();
        if (answer.result == IDOK)
            m_password = answer.password;
        return answer.result;
    }

    // A prefilled password longer than the limit is shown whole; the limit shrinks back to 50 as
    // it is shortened.
    m_wndEdit->setMaxLength(qMax(m_maxLength, static_cast<int>(m_password.size())));
    m_wndEdit->setText(m_password);
    m_wndPrompt->setText(m_promptText);
    m_wndEdit->setFocus();
    return exec() == QDialog::Accepted ? IDOK : IDCANCEL;
}

void CPasswordDlg::accept()
{
    m_password = m_wndEdit->text();
    const auto length = m_password.size();
    if (m_bValidate && (length < kMinLength || length > kMaxLength)) {
        AfxMessageBox(
            QString("Password must be between 4 and %1 characters in length.").arg(kMaxLength).toStdString(),
            MB_OK | MB_ICONINFORMATION, "Password Format Incorrect");
        return;
    }
    QDialog::accept();
}

void CPasswordDlg::SetNextAnswer(int result, const QString& password)
{
    Queue().push_back({result, password});
}

void CPasswordDlg::ClearQueuedAnswers()
{
    Queue().clear();
}

bool CPasswordDlg::AskFor(QWidget* parent, const std::string& prompt, std::string& password)
{
    CPasswordDlg dialog(parent);
    if (dialog.Ask(QString::fromStdString(prompt), true) != IDOK)
        return false;
    password = dialog.m_password.toStdString();
    return true;
}

bool CPasswordDlg::AskForPassphrase(QWidget* parent, const std::string& prompt, std::string& passphrase)
{
    CPasswordDlg dialog(parent);
    dialog.m_maxLength = 1024;
    if (dialog.Ask(QString::fromStdString(prompt), false) != IDOK)
        return false;
    passphrase = dialog.m_password.toStdString();
    return true;
}
