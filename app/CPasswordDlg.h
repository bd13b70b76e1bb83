#pragma once

#include <QDialog>
#include <QString>

#include <string>

class QLabel;
class QLineEdit;

// Asks for a notebook password of 4 to 50 characters. Tests queue the answers of the next
// prompts, as a user would give them.
class CPasswordDlg : public QDialog
{
    Q_OBJECT

public:
    static constexpr int kMinLength = 4;
    static constexpr int kMaxLength = 50;

    explicit CPasswordDlg(QWidget* parent = nullptr);

    // Shows the dialog with this prompt; returns IDOK or IDCANCEL.
    int Ask(const QString& prompt, bool validate);

    // Asks with the length rule on; false when the user cancels.
    static bool AskFor(QWidget* parent, const std::string& prompt, std::string& password);
    // Asks for the passphrase of an encrypted notebook: any length, no rule.
    static bool AskForPassphrase(QWidget* parent, const std::string& prompt, std::string& passphrase);

    static void SetNextAnswer(int result, const QString& password = {});
    static void ClearQueuedAnswers();

    QString m_password;

    QLineEdit* Edit() const { return m_wndEdit; }
    QLabel* Prompt() const { return m_wndPrompt; }

public slots:
    void accept() override;

private:
    QLabel* m_wndPrompt;
    QLineEdit* m_wndEdit;
    bool m_bValidate = true;
    int m_maxLength = kMaxLength;
    QString m_promptText;
};
