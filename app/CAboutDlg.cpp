#include "app/CAboutDlg.h"

#include "model/CTextString.h"
#include "platform/desktop/ModuleVersion.h"

#include <QDialogButtonBox>
#include <QIcon>
#include <QLabel>
#include <QVBoxLayout>

namespace {

QLabel* Centred(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setAlignment(Qt::AlignCenter);
    label->setTextFormat(Qt::PlainText);
    return label;
}

} // namespace

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent), m_wndVersion(Centred(tr("Version X"), this))
{
    setWindowTitle(tr("About Pelmora"));

    auto* icon = new QLabel(this);
    icon->setPixmap(QIcon(":/icons/pelmora.svg").pixmap(32, 32));
    icon->setAlignment(Qt::AlignCenter);

    CTextString version;
    if (GetModuleVersionString(version))
        m_wndVersion->setText(QString("Version %1").arg(QString::fromUtf8(version.GetData())));

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(icon);
    layout->addWidget(Centred(tr("Pelmora"), this));
    layout->addWidget(m_wndVersion);
    layout->addWidget(Centred(tr("Copyright \u00A9 Orlathwick. All rights reserved."), this));
    layout->addWidget(Centred(tr("www.pelmora.example"), this));
    layout->addWidget(buttons, 0, Qt::AlignCenter);
    setMinimumWidth(380);
}
