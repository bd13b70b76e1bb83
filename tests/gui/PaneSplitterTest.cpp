#include "platform/qt/CPaneSplitter.h"

#include <QApplication>
#include <QFrame>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace {

struct Panel
{
    explicit Panel(int panes = 2,
                   CPaneSplitter::Orientation orientation = CPaneSplitter::Orientation::SideBySide,
                   QSize size = {800, 400})
        : host(std::make_unique<QFrame>()), splitter(new CPaneSplitter(panes, orientation, 100, 5))
    {
        host->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        splitter->setParent(host.get());
        for (int i = 0; i < panes; ++i) {
            auto* pane = new QWidget;
            splitter->CreatePane(i, pane);
            this->panes.push_back(pane);
        }
        if (panes == 2)
            splitter->SetPaneWeights({3, 10});
        host->resize(size);
        splitter->resize(size);
        host->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(host.get()));
    }

    std::unique_ptr<QFrame> host;
    CPaneSplitter* splitter;
    std::vector<QWidget*> panes;
};

void Drag(CPaneSplitter* splitter, QPoint from, QPoint to, bool release = true)
{
    QTest::mousePress(splitter, Qt::LeftButton, {}, from);
    QTest::mouseMove(splitter, to);
    if (release)
        QTest::mouseRelease(splitter, Qt::LeftButton, {}, to);
}

} // namespace

TEST(PaneSplitter, PlacesPanesAndTakesTheHostsEdge)
{
    Panel p;
    EXPECT_EQ(p.host->frameShape(), QFrame::NoFrame);
    EXPECT_EQ(p.panes[0]->geometry(), QRect(0, 0, 183, 400));
    EXPECT_EQ(p.panes[1]->geometry(), QRect(188, 0, 612, 400));
    EXPECT_EQ(p.splitter->cursor().shape(), Qt::SizeHorCursor);
    EXPECT_EQ(p.panes[0]->cursor().shape(), Qt::ArrowCursor);
    std::int32_t a = 0, b = 0;
    p.splitter->GetPaneShares(a, b);
    EXPECT_EQ(a, 7562);
    EXPECT_EQ(b, 25206);
}

TEST(PaneSplitter, BandMovesDuringTheDragAndPanesOnlyAtTheRelease)
{
    Panel p;
    Drag(p.splitter, {185, 50}, {400, 60}, false);
    ASSERT_TRUE(p.splitter->IsTracking());
    EXPECT_TRUE(p.splitter->TrackingBand()->isVisible());
    EXPECT_EQ(p.splitter->TrackingBand()->geometry(), QRect(398, 0, 5, 400))
        << "grabbed 3 pixels before the end of the bar";
    EXPECT_EQ(p.panes[0]->width(), 183) << "panes wait for the release";
    QTest::mouseRelease(p.splitter, Qt::LeftButton, {}, {400, 60});
    EXPECT_FALSE(p.splitter->TrackingBand()->isVisible());
    EXPECT_EQ(p.panes[0]->width(), 398);
    EXPECT_EQ(p.panes[1]->x(), 403);

    // The limits leave each neighbour exactly the minimum.
    Drag(p.splitter, {399, 10}, {-300, 10});
    EXPECT_EQ(p.panes[0]->width(), 100);
    Drag(p.splitter, {102, 10}, {2000, 10});
    EXPECT_EQ(p.panes[1]->width(), 100);

    // The dragged proportion survives a resize.
    p.splitter->resize(1600, 400);
    EXPECT_EQ(p.panes[1]->x() + p.panes[1]->width(), 1600);
    EXPECT_NEAR(p.panes[1]->width(), 201, 1);
}

TEST(PaneSplitter, DoubleClickStartsNoSecondDrag)
{
    Panel p;
    QTest::mouseDClick(p.splitter, Qt::LeftButton, {}, {185, 50});
    EXPECT_FALSE(p.splitter->IsTracking());
    QTest::mouseRelease(p.splitter, Qt::LeftButton, {}, {300, 50});
    EXPECT_EQ(p.panes[0]->width(), 183);
}

TEST(PaneSplitter, LostDragChangesNothing)
{
    Panel p;
    Drag(p.splitter, {185, 50}, {400, 60}, false);
    p.splitter->hide();
    EXPECT_FALSE(p.splitter->IsTracking());
    p.splitter->show();
    QTest::mouseRelease(p.splitter, Qt::LeftButton, {}, {400, 60});
    EXPECT_EQ(p.panes[0]->width(), 183);
}

TEST(PaneSplitter, StoredSharesOnlyForTwoPanes)
{
    Panel p;
    p.splitter->SetPaneShares(0, 0);
    EXPECT_EQ(p.panes[0]->width(), 100);
    Panel three(3);
    std::int32_t a = -1, b = -1;
    three.splitter->GetPaneShares(a, b);
    EXPECT_EQ(a, -1);
    three.splitter->SetPaneShares(1, 1);
    EXPECT_EQ(three.splitter->Layout().Share(0), 10923);
}

TEST(PaneSplitter, StackedPanesUseTheVerticalAxis)
{
    Panel p(2, CPaneSplitter::Orientation::Stacked, {300, 600});
    EXPECT_EQ(p.splitter->cursor().shape(), Qt::SizeVerCursor);
    const int bar = p.panes[1]->y() - 2;
    Drag(p.splitter, {150, bar}, {150, bar + 50});
    EXPECT_EQ(p.panes[0]->x(), 0);
    EXPECT_EQ(p.panes[0]->width(), 300);
    EXPECT_EQ(p.panes[1]->y() + p.panes[1]->height(), 600);
    EXPECT_GT(p.panes[0]->height(), 183);
}
