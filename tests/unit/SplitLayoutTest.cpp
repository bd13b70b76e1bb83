#include "platform/CSplitLayout.h"

#include <gtest/gtest.h>

namespace {

// The note panel's layout: two panes, minimum 100, bar 5, weights 3 and 10.
CSplitLayout NotePanel(int width)
{
    CSplitLayout layout(2, 100, 5);
    layout.SetWeights({3, 10});
    layout.Layout(width);
    return layout;
}

int PaneWidth(const CSplitLayout& layout, int i)
{
    return layout.Position(i + 1) - layout.GetBarWidth() - layout.Position(i);
}

} // namespace

TEST(SplitLayout, EqualSharesAndWeights)
{
    CSplitLayout two(2, 100, 5);
    EXPECT_EQ(two.Share(0), 16384);
    EXPECT_EQ(two.Share(1), 16384);
    CSplitLayout three(3, 10, 4);
    EXPECT_EQ(three.Share(0), 10923);
    EXPECT_EQ(three.Share(0) + three.Share(1) + three.Share(2), 32768);
    two.SetWeights({3, 10});
    EXPECT_EQ(two.Share(0), 7562);
    EXPECT_EQ(two.Share(1), 25206);
    two.SetWeights({0, 0}); // refused: nothing to divide by
    EXPECT_EQ(two.Share(0), 7562);
}

TEST(SplitLayout, NewPanelEightHundredWide)
{
    const CSplitLayout layout = NotePanel(800);
    EXPECT_EQ(PaneWidth(layout, 0), 183);
    EXPECT_EQ(layout.Position(1), 188) << "the bar covers 183 to 187";
    EXPECT_EQ(layout.Position(2) - 5, 800) << "the editor ends at the client edge";
    EXPECT_EQ(PaneWidth(layout, 1), 612);
}

TEST(SplitLayout, MinimumRaisesTheListAndTheRaiseSticks)
{
    EXPECT_EQ(NotePanel(437).Share(0), 7562);
    EXPECT_EQ(PaneWidth(NotePanel(437), 0), 100);
    CSplitLayout layout = NotePanel(436);
    EXPECT_EQ(layout.Share(0), 7603);
    EXPECT_EQ(PaneWidth(layout, 0), 100);
    layout.Layout(300);
    EXPECT_EQ(PaneWidth(layout, 0), 100);
    layout.Layout(800);
    EXPECT_GT(layout.Share(0), 7562) << "widened again, the list keeps its raised share";
    EXPECT_EQ(layout.Share(0) + layout.Share(1), 32768);
}

TEST(SplitLayout, TooNarrowForBothMinimums)
{
    CSplitLayout layout = NotePanel(90);
    EXPECT_EQ(layout.Share(0), 32768);
    EXPECT_EQ(layout.Share(1), 0);
    EXPECT_EQ(PaneWidth(layout, 0), 85) << "the list takes all of the available width";
    EXPECT_LE(PaneWidth(layout, 1), 0);
    // No width at all divides by nothing.
    layout.Layout(5);
    EXPECT_EQ(layout.Share(0), 0);
    layout.DropBar(1, 3, 5);
}

TEST(SplitLayout, StoredZeroSharesGiveTheMinimum)
{
    CSplitLayout layout(2, 100, 5);
    layout.SetShare(0, 0);
    layout.SetShare(1, 0);
    layout.Layout(800);
    EXPECT_EQ(PaneWidth(layout, 0), 100);
    EXPECT_EQ(layout.Share(0), 4122);
    EXPECT_EQ(layout.Share(1), 4122);
    EXPECT_EQ(layout.Position(2) - 5, 800);
}

TEST(SplitLayout, OversizedSharesAreClampedAtTheEdge)
{
    CSplitLayout layout(3, 10, 5);
    layout.SetShare(0, 30000);
    layout.SetShare(1, 30000);
    layout.SetShare(2, 30000);
    layout.Layout(400);
    for (int i = 0; i < 3; ++i)
        EXPECT_LE(layout.Position(i + 1), layout.Position(3));
}

TEST(SplitLayout, DragLimitsAndRelease)
{
    CSplitLayout layout = NotePanel(800);
    EXPECT_EQ(layout.BarAt(185), 1);
    EXPECT_EQ(layout.ClampTrack(1, -50), 105) << "the list keeps exactly 100";
    EXPECT_EQ(layout.ClampTrack(1, 5000), 700) << "the editor keeps exactly 100";
    EXPECT_EQ(layout.ClampTrack(1, 400), 400);
    layout.DropBar(1, 400, 800);
    EXPECT_EQ(PaneWidth(layout, 0), 395);
    EXPECT_EQ(layout.Share(0), CSplitLayout::ShareOf(395, 795));
    EXPECT_EQ(layout.Share(1), CSplitLayout::ShareOf(400, 795));
    // A resize keeps the dragged proportion.
    layout.Layout(1600);
    EXPECT_NEAR(PaneWidth(layout, 0) / 1595.0, 395 / 795.0, 0.002);
}

TEST(SplitLayout, ThreePanesDragOnlyMovesTheNeighbours)
{
    CSplitLayout layout(3, 50, 4);
    layout.Layout(604);
    EXPECT_EQ(layout.Position(3), 608);
    const int bar = layout.BarAt(layout.Position(2) - 2);
    EXPECT_EQ(bar, 2);
    const std::int32_t first = layout.Share(0);
    EXPECT_EQ(layout.ClampTrack(2, 0), layout.Position(1) + 54) << "the lower limit";
    layout.DropBar(2, layout.Position(2) + 30, 604);
    EXPECT_EQ(layout.Share(0), first);
    // When the limits cross the upper one wins.
    CSplitLayout tight(3, 300, 4);
    tight.Layout(600);
    EXPECT_EQ(tight.ClampTrack(1, 1000), tight.Position(2) - 304);
    EXPECT_EQ(tight.ClampTrack(1, 10), 304);
}
