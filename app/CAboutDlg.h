#pragma once

#include <QDialog>

class QLabel;

// The about box: icon, name, the version read from the program file, the maker.
class CAboutDlg : public QDialog
{
    Q_OBJECT

public:
    explicit CAboutDlg(QWidget* parent = nullptr);

    QLabel* VersionLabel() const { return m_wndVersion; }

private:
    QLabel* m_wndVersion;
};
