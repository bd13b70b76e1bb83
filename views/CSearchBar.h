#pragma once

#include <QFont>
#include <QWidget>

class QLineEdit;
class QPushButton;

// The search box and its button on the toolbar row. Enter in the box and the button both run
// the frame's Find Next.
class CSearchBar : public QWidget
{
    Q_OBJECT

public:
    static constexpr int kMaxLength = 50;

    explicit CSearchBar(QWidget* parent);

    QLineEdit* Edit() const { return m_wndEdit; }
    QPushButton* Button() const { return m_wndButton; }

signals:
    void FindNext();

protected:
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLineEdit* m_wndEdit;
    QPushButton* m_wndButton;
    QFont m_font;
};
