#pragma once

#include <QLabel>

class CNoteBook;

// The status bar's pane that names the open notebook's code page; hidden with no notebook.
class CCodePagePane : public QLabel
{
    Q_OBJECT

public:
    explicit CCodePagePane(QWidget* parent);

    void Show(const CNoteBook* book);
};
