#include "app/CShortcutsDlg.h"

#include "platform/qt/CCommandRouter.h"

#include <QAction>
#include <QBoxLayout>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QMenu>
#include <QMenuBar>
#include <QSet>
#include <QTableWidget>

namespace {

QString Plain(QString text)
{
    // "&&" is a shown ampersand, a lone "&" marks the access key.
    return text.replace(QLatin1String("&&"), QLatin1String("\x01")).remove('&').replace('\x01', '&');
}

} // namespace

CShortcutsDlg::CShortcutsDlg(const QMenuBar& menus, const CCommandRouter& router, QWidget* parent)
    : QDialog(parent), m_table(new QTableWidget(0, 3, this))
{
    setWindowTitle(tr("Keyboard Shortcuts"));
    m_table->setHorizontalHeaderLabels({tr("Menu"), tr("Command"), tr("Keys")});
    m_table->verticalHeader()->hide();
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->horizontalHeader()->setStretchLastSection(true);
    Fill(menus, router);
    m_table->resizeColumnsToContents();
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_table);
    layout->addWidget(buttons);
    resize(520, 560);
}

// The menus first, each command where the user finds it; then any command no menu holds.
void CShortcutsDlg::Fill(const QMenuBar& menus, const CCommandRouter& router)
{
    QSet<int> listed;
    for (QAction* top : menus.actions()) {
        QMenu* menu = top->menu();
        if (!menu)
            continue;
        for (QAction* action : menu->actions()) {
            bool isCommand = false;
            const int id = action->data().toInt(&isCommand);
            if (!isCommand || action->isSeparator() || router.Action(id) != action)
                continue;
            listed.insert(id);
            AddRow(Plain(top->text()), Plain(action->text()),
                   router.Key(id).toString(QKeySequence::NativeText));
        }
    }
    for (const int id : router.Ids())
        if (!listed.contains(id))
            AddRow(QString(), Plain(router.Action(id)->text()),
                   router.Key(id).toString(QKeySequence::NativeText));
}

void CShortcutsDlg::AddRow(const QString& menu, const QString& command, const QString& keys)
{
    const int row = m_table->rowCount();
    m_table->insertRow(row);
    m_table->setItem(row, 0, new QTableWidgetItem(menu));
    m_table->setItem(row, 1, new QTableWidgetItem(command));
    m_table->setItem(row, 2, new QTableWidgetItem(keys));
}
