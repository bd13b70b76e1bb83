#pragma once

#include <QFont>
#include <QWidget>

class QLineEdit;
class QPushButton;
class QToolBar;

// The search box and its buttons on the toolbar row. Enter in the box and the "Search" button both
// run the frame's Find Next; the "Find All" button beside it lists every note that holds the text.
class CSearchBar : public QWidget
{
    Q_OBJECT

public:
    static constexpr int kMaxLength = 50;

    explicit CSearchBar(QWidget* parent);

    QLineEdit* Edit() const { return m_wndEdit; }
    QPushButton* Button() const { return m_wndButton; }
    QPushButton* FindAllButton() const { return m_wndFindAllButton; }
    // Takes the free part of the toolbar's row: right of its last button and up to two pixels
    // before the row's end.
    void PlaceBeside(const QToolBar& toolBar);

signals:
    void FindNext();
    void FindAll();

protected:
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLineEdit* m_wndEdit;
    QPushButton* m_wndButton;
    QPushButton* m_wndFindAllButton;
    QFont m_font;
};
