#pragma once

#include <QFrame>
#include <QPointer>

// The frame's work area: gray with a sunken edge until the first note panel, which it keeps
// sized to its whole inside. It holds the keys while no panel does.
class CHostWnd : public QFrame
{
    Q_OBJECT

public:
    explicit CHostWnd(QWidget* parent);

    // The widget that fills the inside from now on; it belongs to someone else.
    void SetContent(QWidget* content);

signals:
    void ContentChanged(QWidget* content);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void childEvent(QChildEvent* event) override;

private:
    QPointer<QWidget> m_content;
};
