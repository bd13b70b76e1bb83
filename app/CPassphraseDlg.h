#pragma once

#include "platform/CSecureBytes.h"

#include <QDialog>
#include <QString>

class QLineEdit;

// Asks for a new passphrase of an encrypted notebook twice, at least 8 characters, and says that a
// forgotten one cannot be recovered. Tests queue the texts of the next dialogs, as a user would
// type them; the rules hold for them too.
class CPassphraseDlg : public QDialog
{
    Q_OBJECT

public:
    explicit CPassphraseDlg(QWidget* parent = nullptr);

    // The new passphrase, in locked memory; false when the user cancels.
    static bool AskNew(QWidget* parent, CSecureBytes& passphrase);

    static void SetNextAnswer(int result, const QString& passphrase = {}, const QString& repeated = {});
    static void ClearQueuedAnswers();

public slots:
    void accept() override;

private:
    // Shows what is wrong with the two entries; true when they are fit to use.
    static bool Check(const QString& passphrase, const QString& repeated);

    QLineEdit* m_wndFirst;
    QLineEdit* m_wndSecond;
};
