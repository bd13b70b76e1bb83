#pragma once

#include <QPointer>
#include <QToolBar>

class CCommandRouter;
class CSearchBar;

// The toolbar row: the command buttons in their fixed order and, in the free rest of the row, the
// search bar, placed again whenever the row changes size.
class CMainToolBar : public QToolBar
{
    Q_OBJECT

public:
    CMainToolBar(CCommandRouter& router, QWidget* parent);

    // The bar lies over the row's free part; it belongs to the window.
    void SetSearchBar(CSearchBar* searchBar);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void PlaceSearchBar();

    QPointer<CSearchBar> m_searchBar;
};
