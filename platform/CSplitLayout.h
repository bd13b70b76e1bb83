#pragma once

#include <cstdint>
#include <vector>

// The arithmetic of a split panel along one axis: each pane's share of the available length in
// units of 1/32768, the leading edge of every pane, the minimum pane size and the bar drag.
// Pane i covers [Position(i), Position(i + 1) - bar width); the bar before pane i ends at Position(i).
class CSplitLayout
{
public:
    static constexpr std::int32_t kWhole = 32768;

    // A pane count below 1 is taken as 1. Every pane gets an equal share.
    CSplitLayout(int paneCount, int minPaneSize, int barWidth);

    static int PixelsOf(std::int32_t share, int available);
    // 0 when nothing is available.
    static std::int32_t ShareOf(int pixels, int available);

    int GetPaneCount() const { return m_paneCount; }
    int GetBarWidth() const { return m_barWidth; }
    // The client extent minus the bars.
    int Available(int extent) const { return extent - (m_paneCount - 1) * m_barWidth; }

    std::int32_t Share(int index) const { return m_shares[static_cast<std::size_t>(index)]; }
    void SetShare(int index, std::int32_t share) { m_shares[static_cast<std::size_t>(index)] = share; }
    int Position(int index) const { return m_positions[static_cast<std::size_t>(index)]; }

    // Shares in proportion to one weight per pane; ignored when the weights sum to 0.
    void SetWeights(const std::vector<int>& weights);
    // Raises the panes below the minimum, then places them for a client extent.
    void Layout(int extent);

    // The bar a press at this axis coordinate grabs.
    int BarAt(int coordinate) const;
    // The track position kept between the limits that leave both neighbours the minimum; the
    // upper limit wins when the two cross.
    int ClampTrack(int bar, int trackPos) const;
    // Puts the bar at the track position and recomputes the shares of its two neighbours.
    void DropBar(int bar, int trackPos, int extent);

private:
    bool LayoutPass(int available);
    void FitMinimums(int available);
    void PlacePanes(int available);

    int m_paneCount;
    int m_minPaneSize;
    int m_barWidth;
    std::vector<std::int32_t> m_shares;
    std::vector<int> m_positions;
};
