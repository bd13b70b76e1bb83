#pragma once

#include <QDialog>

class CCommandRouter;
class QMenuBar;
class QTableWidget;

// Help > Keyboard Shortcuts: every command of the menus, in menu order, with its key, read from
// the commands themselves so the list never goes out of date. Stays open beside the window.
class CShortcutsDlg : public QDialog
{
    Q_OBJECT

public:
    CShortcutsDlg(const QMenuBar& menus, const CCommandRouter& router, QWidget* parent);

    QTableWidget* GetTable() const { return m_table; }

private:
    void Fill(const QMenuBar& menus, const CCommandRouter& router);
    void AddRow(const QString& menu, const QString& command, const QString& keys);

    QTableWidget* m_table;
};
