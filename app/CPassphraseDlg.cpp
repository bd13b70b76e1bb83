#include "app/CPassphraseDlg.h"

#include "model/CNoteBookSecret.h"
#include "model/PassphraseText.h"
#include "platform/MessageBox.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <deque>

namespace {

struct Answer
{
    int result;
    QString passphrase;
    QString repeated;
};

std::deque<Answer>& Queue()
{
    static std::deque<Answer> queue;
    return queue;
}

QLineEdit* MaskedBox(QWidget* parent)
{
    auto* box = new QLineEdit(parent);
    box->setEchoMode(QLineEdit::Password);
    box->setMaxLength(1024);
    return box;
}

// The entries go into locked memory and are wiped from the widgets' strings.
CSecureBytes Secure(QString& text)
{
    QByteArray bytes = text.toUtf8();
    CSecureBytes secure(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
    bytes.fill('\0');
    text.fill(QChar(0));
    return secure;
}

} // namespace

CPassphraseDlg::CPassphraseDlg(QWidget* parent)
    : QDialog(parent), m_wndFirst(MaskedBox(this)), m_wndSecond(MaskedBox(this))
{
    setWindowTitle(tr("Encrypt NoteBook"));
    auto* warning =
        new QLabel(tr("The notebook will be encrypted with this passphrase of at least %1 characters. "
                      "A forgotten passphrase cannot be recovered: without it nobody, Pelmora "
                      "included, can open the notebook again.")
                       .arg(CNoteBookSecret::kShortestPassphrase),
                   this);
    warning->setWordWrap(true);
    auto* fields = new QFormLayout;
    fields->addRow(tr("Passphrase:"), m_wndFirst);
    fields->addRow(tr("Repeat it:"), m_wndSecond);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &CPassphraseDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CPassphraseDlg::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(warning);
    layout->addLayout(fields);
    layout->addWidget(buttons);
    setMinimumWidth(360);
}

bool CPassphraseDlg::Check(const QString& passphrase, const QString& repeated)
{
    // Characters as the tool counts them: code points of the NFC form, not UTF-16 units.
    QByteArray bytes = passphrase.toUtf8();
    const std::size_t characters = PassphraseCharacters(
        CSecureBytes(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size()))));
    bytes.fill('\0');
    if (characters < static_cast<std::size_t>(CNoteBookSecret::kShortestPassphrase)) {
        AfxMessageBox(QString("The passphrase must be at least %1 characters long.")
                          .arg(CNoteBookSecret::kShortestPassphrase)
                          .toStdString(),
                      MB_OK | MB_ICONINFORMATION);
        return false;
    }
    if (passphrase != repeated) {
        AfxMessageBox("The two passphrases differ. Type the same passphrase twice.",
                      MB_OK | MB_ICONINFORMATION);
        return false;
    }
    return true;
}

void CPassphraseDlg::accept()
{
    if (Check(m_wndFirst->text(), m_wndSecond->text()))
        QDialog::accept();
}

bool CPassphraseDlg::AskNew(QWidget* parent, CSecureBytes& passphrase)
{
    // Queued answers are tried as a user tries again after a message.
    while (!Queue().empty()) {
        Answer answer = Queue().front();
        Queue().pop_front();
        if (answer.result != IDOK)
            return false;
        if (Check(answer.passphrase, answer.repeated)) {
            passphrase = Secure(answer.passphrase);
            return true;
        }
    }
    CPassphraseDlg dialog(parent);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    QString text = dialog.m_wndFirst->text();
    passphrase = Secure(text);
    dialog.m_wndFirst->clear();
    dialog.m_wndSecond->clear();
    return true;
}

void CPassphraseDlg::SetNextAnswer(int result, const QString& passphrase, const QString& repeated)
{
    Queue().push_back({result, passphrase, repeated});
}

void CPassphraseDlg::ClearQueuedAnswers()
{
    Queue().clear();
}
