#pragma once

#include <QDialog>
#include <QSet>

class CCommandRouter;
class QMenu;
class QMenuBar;
class QTableWidget;

// Help > Keyboard Shortcuts: every command of the menus and their submenus, in menu order, with its
// key, read from the commands themselves so the list never goes out of date; then the keys of the
// note's text box. Stays open beside the window.
class CShortcutsDlg : public QDialog
{
    Q_OBJECT

public:
    CShortcutsDlg(const QMenuBar& menus, const CCommandRouter& router, QWidget* parent);

    QTableWidget* GetTable() const { return m_table; }
    // Lists the menus as they are now.
    void Fill(const QMenuBar& menus, const CCommandRouter& router);

private:
    void FillMenu(const QString& path, const QString& keys, const QMenu& menu, const CCommandRouter& router,
                  QSet<int>& listed);
    void FillTextBoxKeys();
    void AddRow(const QString& menu, const QString& command, const QString& keys);

    QTableWidget* m_table;
};
