#pragma once

#include <QWidget>

class QLabel;

// The status bar's CAP, NUM and SCRL panes: each is lit while its lock is on. They are read
// again whenever a window of the program becomes active or a lock key is released.
class CLockIndicators : public QWidget
{
    Q_OBJECT

public:
    explicit CLockIndicators(QWidget* parent);
    ~CLockIndicators() override;

    void Refresh();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLabel* m_labels[3] = {};
};
