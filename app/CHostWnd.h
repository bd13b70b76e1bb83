#pragma once

#include <QFrame>

// The frame's work area: gray with a sunken edge until the first note panel, which it keeps
// sized to its whole inside.
class CHostWnd : public QFrame
{
    Q_OBJECT

public:
    explicit CHostWnd(QWidget* parent);

protected:
    void resizeEvent(QResizeEvent* event) override;
};
