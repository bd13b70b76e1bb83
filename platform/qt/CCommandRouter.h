#pragma once

#include "platform/qt/CCmdUI.h"

#include <QHash>
#include <QKeySequence>
#include <QObject>
#include <QString>

#include <functional>

class QAction;
class QMenu;
class QWidget;

// Every command of the window has one handler and one update rule. Menus, toolbar buttons and
// shortcuts all come through Run, which asks the rule first, so a disabled command never runs.
class CCommandRouter : public QObject
{
    Q_OBJECT

public:
    using Handler = std::function<void()>;
    using UpdateRule = std::function<void(CCmdUI&)>;

    explicit CCommandRouter(QWidget* window);

    // A command without a rule is always enabled. The menu text may carry the command's window-wide
    // key after a tab; the prompt's first line is the status tip, the part after the line break
    // the tooltip. The action's own text stops before the tab, so that screen readers name it
    // without the keys.
    QAction* Add(int id, const QString& menuText, const QString& prompt, Handler handler,
                 UpdateRule rule = {});
    void SetCheckable(int id);
    // A window-wide key the menu does not show beside the command's text.
    void AddKey(int id, const QKeySequence& key);

    QAction* Action(int id) const;
    // The command's key, shown in its menu or not; empty when it has none.
    QKeySequence Key(int id) const;
    // Every command's id, in increasing order.
    QList<int> Ids() const;
    CCmdUI Query(int id) const;
    bool Run(int id);

    // Applies the rules to the actions' enabled and checked state.
    void Update(int id);
    void UpdateAll();
    // Updates the actions of a menu whenever it opens.
    void WatchMenu(QMenu* menu);
    // What the window's prompt line shows whenever no command prompt does.
    void SetIdleText(const QString& text) { m_idleText = text; }

    // True when the key, typed into this widget, has an editing meaning there.
    static bool IsTextEditingKey(const QWidget* focus, const QKeySequence& key);
    // True when the key has an editing meaning in any text box.
    static bool IsEditingKey(const QKeySequence& key);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // A window-wide key for the command. Keys with a meaning in text boxes are left to the box
    // while one has the focus.
    void AddShortcut(int id, const QKeySequence& key);
    struct Command
    {
        QAction* action = nullptr;
        Handler handler;
        UpdateRule rule;
        QKeySequence unshownKey;
    };

    bool ShowIdleText(QObject* watched, QEvent* event);

    QWidget* m_window;
    QHash<int, Command> m_commands;
    QString m_idleText;
};
