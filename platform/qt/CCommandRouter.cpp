#include "platform/qt/CCommandRouter.h"

#include <QAbstractSpinBox>
#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QShortcut>
#include <QStatusTipEvent>

#include <algorithm>

namespace {

bool IsTextBox(const QWidget* widget)
{
    return qobject_cast<const QLineEdit*>(widget) || qobject_cast<const QAbstractSpinBox*>(widget);
}

// The keys a text box gives a meaning of its own.
const QKeySequence::StandardKey kEditingKeys[] = {
    QKeySequence::Copy,
    QKeySequence::Cut,
    QKeySequence::Paste,
    QKeySequence::Undo,
    QKeySequence::Redo,
    QKeySequence::SelectAll,
    QKeySequence::Delete,
    QKeySequence::Backspace,
    QKeySequence::DeleteEndOfWord,
    QKeySequence::DeleteStartOfWord,
    QKeySequence::DeleteEndOfLine,
    QKeySequence::DeleteCompleteLine,
    QKeySequence::MoveToNextWord,
    QKeySequence::MoveToPreviousWord,
    QKeySequence::SelectNextWord,
    QKeySequence::SelectPreviousWord,
    QKeySequence::MoveToStartOfDocument,
    QKeySequence::MoveToEndOfDocument,
};

} // namespace

CCommandRouter::CCommandRouter(QWidget* window) : QObject(window), m_window(window)
{
    qApp->installEventFilter(this);
}

QAction* CCommandRouter::Add(int id, const QString& menuText, const QString& prompt, Handler handler,
                             UpdateRule rule)
{
    const QString name = menuText.section('\t', 0, 0);
    auto* action = new QAction(name, m_window);
    // The keys after the tab are the command's window-wide key. The menu shows them from the
    // action's shortcut; the window's own shortcut carries them out, so the action's one is held
    // to its menu and button, which never keep the focus.
    const QString keys = menuText.section('\t', 1);
    if (!keys.isEmpty()) {
        const QKeySequence key(keys, QKeySequence::PortableText);
        action->setShortcut(key);
        action->setShortcutContext(Qt::WidgetShortcut);
        AddShortcut(id, key);
    }
    const int lineBreak = prompt.indexOf('\n');
    action->setStatusTip(prompt.left(lineBreak));
    action->setToolTip(lineBreak < 0 ? QString(name).remove('&') : prompt.mid(lineBreak + 1));
    action->setData(id);
    connect(action, &QAction::triggered, this, [this, id] { Run(id); });
    m_commands.insert(id, Command{action, std::move(handler), std::move(rule), {}});
    return action;
}

void CCommandRouter::AddShortcut(int id, const QKeySequence& key)
{
    auto* shortcut = new QShortcut(key, m_window);
    shortcut->setContext(Qt::WindowShortcut);
    connect(shortcut, &QShortcut::activated, this, [this, id] { Run(id); });
}

void CCommandRouter::SetCheckable(int id)
{
    if (QAction* action = Action(id))
        action->setCheckable(true);
}

void CCommandRouter::AddKey(int id, const QKeySequence& key)
{
    const auto it = m_commands.find(id);
    if (it == m_commands.end())
        return;
    it->unshownKey = key;
    AddShortcut(id, key);
}

QKeySequence CCommandRouter::Key(int id) const
{
    const auto it = m_commands.constFind(id);
    if (it == m_commands.constEnd())
        return {};
    return it->action->shortcut().isEmpty() ? it->unshownKey : it->action->shortcut();
}

QAction* CCommandRouter::Action(int id) const
{
    const auto it = m_commands.constFind(id);
    return it == m_commands.constEnd() ? nullptr : it->action;
}

QList<int> CCommandRouter::Ids() const
{
    QList<int> ids = m_commands.keys();
    std::sort(ids.begin(), ids.end());
    return ids;
}

CCmdUI CCommandRouter::Query(int id) const
{
    CCmdUI ui(id);
    const auto it = m_commands.constFind(id);
    if (it == m_commands.constEnd())
        ui.Enable(false);
    else if (it->rule)
        it->rule(ui);
    return ui;
}

bool CCommandRouter::Run(int id)
{
    const auto it = m_commands.constFind(id);
    if (it == m_commands.constEnd() || !Query(id).m_enabled) {
        Update(id);
        return false;
    }
    const Handler handler = it->handler; // the handler may add or remove commands
    handler();
    UpdateAll();
    return true;
}

void CCommandRouter::Update(int id)
{
    QAction* action = Action(id);
    if (!action)
        return;
    const CCmdUI ui = Query(id);
    action->setEnabled(ui.m_enabled);
    if (action->isCheckable())
        action->setChecked(ui.m_checked);
}

void CCommandRouter::UpdateAll()
{
    for (auto it = m_commands.constBegin(); it != m_commands.constEnd(); ++it)
        Update(it.key());
}

void CCommandRouter::WatchMenu(QMenu* menu)
{
    connect(menu, &QMenu::aboutToShow, this, [this, menu] {
        for (QAction* action : menu->actions())
            if (!action->isSeparator())
                Update(action->data().toInt());
    });
}

bool CCommandRouter::IsTextEditingKey(const QWidget* focus, const QKeySequence& key)
{
    return IsTextBox(focus) && IsEditingKey(key);
}

bool CCommandRouter::IsEditingKey(const QKeySequence& key)
{
    for (const QKeySequence::StandardKey standard : kEditingKeys)
        for (const QKeySequence& binding : QKeySequence::keyBindings(standard))
            if (binding.matches(key) == QKeySequence::ExactMatch)
                return true;
    return false;
}

// A prompt going away (a menu closing, the pointer leaving a button) leaves the idle text, not a
// blank line.
bool CCommandRouter::ShowIdleText(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::StatusTip || watched != m_window || m_idleText.isEmpty() ||
        !static_cast<QStatusTipEvent*>(event)->tip().isEmpty())
        return false;
    QStatusTipEvent idle(m_idleText);
    QCoreApplication::sendEvent(m_window, &idle);
    return true;
}

bool CCommandRouter::eventFilter(QObject* watched, QEvent* event)
{
    if (ShowIdleText(watched, event))
        return true;
    // Claiming the override hands the key to the text box instead of the window's shortcut.
    if (event->type() == QEvent::ShortcutOverride && watched == QApplication::focusWidget() &&
        m_window->isAncestorOf(static_cast<QWidget*>(watched))) {
        auto* key = static_cast<QKeyEvent*>(event);
        const QKeySequence sequence(key->keyCombination());
        if (IsTextEditingKey(static_cast<QWidget*>(watched), sequence)) {
            event->accept();
            return false;
        }
    }
    return QObject::eventFilter(watched, event);
}
