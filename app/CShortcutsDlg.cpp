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

#include <algorithm>

namespace {

QString Plain(QString text)
{
    // "&&" is a shown ampersand, a lone "&" marks the access key.
    return text.replace(QLatin1String("&&"), QLatin1String("\x01")).remove('&').replace('\x01', '&');
}

// The letter or digit a menu text marks with "&", as the key that chooses it; empty without one.
QString AccessKey(const QString& text)
{
    for (int i = 0; i + 1 < text.size(); ++i) {
        if (text[i] != '&')
            continue;
        if (text[i + 1] != '&')
            return text[i + 1].toUpper();
        ++i;
    }
    return QString();
}

// Keys the text box shares with every text box of the desktop, in the order they are learnt.
struct TextBoxKey
{
    const char* command;
    QKeySequence::StandardKey key;
};
const TextBoxKey kTextBoxKeys[] = {
    {QT_TRANSLATE_NOOP("CShortcutsDlg", "Undo"), QKeySequence::Undo},
    {QT_TRANSLATE_NOOP("CShortcutsDlg", "Redo"), QKeySequence::Redo},
    {QT_TRANSLATE_NOOP("CShortcutsDlg", "Select All"), QKeySequence::SelectAll},
    {QT_TRANSLATE_NOOP("CShortcutsDlg", "Next Word"), QKeySequence::MoveToNextWord},
    {QT_TRANSLATE_NOOP("CShortcutsDlg", "Previous Word"), QKeySequence::MoveToPreviousWord},
    {QT_TRANSLATE_NOOP("CShortcutsDlg", "Select to Next Word"), QKeySequence::SelectNextWord},
    {QT_TRANSLATE_NOOP("CShortcutsDlg", "Select to Previous Word"), QKeySequence::SelectPreviousWord},
    {QT_TRANSLATE_NOOP("CShortcutsDlg", "Delete Next Word"), QKeySequence::DeleteEndOfWord},
    {QT_TRANSLATE_NOOP("CShortcutsDlg", "Delete Previous Word"), QKeySequence::DeleteStartOfWord},
    {QT_TRANSLATE_NOOP("CShortcutsDlg", "Start of Text"), QKeySequence::MoveToStartOfDocument},
    {QT_TRANSLATE_NOOP("CShortcutsDlg", "End of Text"), QKeySequence::MoveToEndOfDocument},
};

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
    m_table->setRowCount(0);
    QSet<int> listed;
    for (QAction* top : menus.actions())
        if (const QMenu* menu = top->menu())
            FillMenu(Plain(top->text()), tr("Alt+%1").arg(AccessKey(top->text())), *menu, router, listed);
    for (const int id : router.Ids())
        if (!listed.contains(id))
            AddRow(QString(), Plain(router.Action(id)->text()),
                   router.Key(id).toString(QKeySequence::NativeText));
    FillTextBoxKeys();
}

// A submenu's commands are reached by the access keys of the menus on the way, when they have no key
// of their own; a submenu of other entries (the recent notebooks, the dictionaries) is one row.
void CShortcutsDlg::FillMenu(const QString& path, const QString& keys, const QMenu& menu,
                             const CCommandRouter& router, QSet<int>& listed)
{
    const bool submenu = path.contains('>');
    for (QAction* action : menu.actions()) {
        const QString keysHere = QStringLiteral("%1, %2").arg(keys, AccessKey(action->text()));
        if (const QMenu* inner = action->menu()) {
            const QList<QAction*> entries = inner->actions();
            const bool ofCommands = std::any_of(entries.begin(), entries.end(), [&](QAction* entry) {
                return router.Action(entry->data().toInt()) == entry;
            });
            if (ofCommands)
                FillMenu(path + " > " + Plain(action->text()), keysHere, *inner, router, listed);
            else if (inner->property("numbered").toBool())
                AddRow(path, Plain(action->text()),
                       tr("%1, 1 to %2").arg(keysHere).arg(inner->property("numbered").toInt()));
            else
                AddRow(path, Plain(action->text()), keysHere);
            continue;
        }
        bool isCommand = false;
        const int id = action->data().toInt(&isCommand);
        if (!isCommand || action->isSeparator() || router.Action(id) != action)
            continue;
        listed.insert(id);
        const QString key = router.Key(id).toString(QKeySequence::NativeText);
        AddRow(path, Plain(action->text()), key.isEmpty() && submenu ? keysHere : key);
    }
}

void CShortcutsDlg::FillTextBoxKeys()
{
    for (const TextBoxKey& row : kTextBoxKeys)
        AddRow(tr("Text box"), tr(row.command),
               QKeySequence::listToString(QKeySequence::keyBindings(row.key), QKeySequence::NativeText));
}

void CShortcutsDlg::AddRow(const QString& menu, const QString& command, const QString& keys)
{
    const int row = m_table->rowCount();
    m_table->insertRow(row);
    m_table->setItem(row, 0, new QTableWidgetItem(menu));
    m_table->setItem(row, 1, new QTableWidgetItem(command));
    m_table->setItem(row, 2, new QTableWidgetItem(keys));
}
