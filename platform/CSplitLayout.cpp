#include "platform/CSplitLayout.h"

#include <algorithm>
#include <numeric>

CSplitLayout::CSplitLayout(int paneCount, int minPaneSize, int barWidth)
    : m_paneCount(std::max(1, paneCount)), m_minPaneSize(minPaneSize), m_barWidth(barWidth),
      m_shares(static_cast<std::size_t>(m_paneCount)), m_positions(static_cast<std::size_t>(m_paneCount) + 1)
{
    const std::int32_t equal = (m_paneCount / 2 + kWhole) / m_paneCount;
    std::fill(m_shares.begin(), m_shares.end() - 1, equal);
    m_shares.back() = kWhole - equal * (m_paneCount - 1);
}

int CSplitLayout::PixelsOf(std::int32_t share, int available)
{
    return static_cast<int>((std::int64_t{share} * available + 16384) / kWhole);
}

std::int32_t CSplitLayout::ShareOf(int pixels, int available)
{
    // No length, no share: nothing to divide by.
    if (available <= 0)
        return 0;
    return static_cast<std::int32_t>((std::int64_t{pixels} * kWhole + available / 2) / available);
}

void CSplitLayout::SetWeights(const std::vector<int>& weights)
{
    const std::int64_t sum = std::accumulate(weights.begin(), weights.end(), std::int64_t{0});
    if (sum == 0 || static_cast<int>(weights.size()) < m_paneCount)
        return;
    std::int32_t given = 0;
    for (int i = 0; i < m_paneCount - 1; ++i) {
        m_shares[static_cast<std::size_t>(i)] = static_cast<std::int32_t>(
            (sum / 2 + std::int64_t{weights[static_cast<std::size_t>(i)]} * kWhole) / sum);
        given += m_shares[static_cast<std::size_t>(i)];
    }
    m_shares.back() = kWhole - given;
}

void CSplitLayout::Layout(int extent)
{
    const int available = Available(extent);
    // Each pass raises at least one more pane, so n + 1 passes end it; the bound also stops a
    // rounding that would lower a raised pane again at extents no screen has.
    for (int pass = 0; pass <= m_paneCount && LayoutPass(available); ++pass) {
    }
    PlacePanes(available);
}

// One pass: raises panes below the minimum and lets the others share what is left. True when a
// pane was raised, so that another pass is needed.
bool CSplitLayout::LayoutPass(int available)
{
    std::int64_t free = kWhole;
    std::int64_t old = kWhole;
    bool raised = false;
    for (auto& share : m_shares) {
        const int pixels = PixelsOf(share, available);
        if (pixels > m_minPaneSize)
            continue;
        old -= share;
        if (pixels < m_minPaneSize) {
            share = m_minPaneSize > available ? kWhole : ShareOf(m_minPaneSize, available);
            raised = true;
        }
        free -= share;
    }
    if (free <= 0) {
        FitMinimums(available);
        return false;
    }
    if (free != kWhole && old > 0)
        for (auto& share : m_shares)
            if (PixelsOf(share, available) != m_minPaneSize)
                share = static_cast<std::int32_t>((share * free + old / 2) / old);
    return raised;
}

// The minimums do not fit: the first panes get the minimum, the later ones what remains.
void CSplitLayout::FitMinimums(int available)
{
    std::int32_t left = kWhole;
    for (auto& share : m_shares) {
        share = std::min(ShareOf(m_minPaneSize, available), left);
        left -= share;
    }
}

void CSplitLayout::PlacePanes(int available)
{
    const int end = available + m_paneCount * m_barWidth;
    m_positions[0] = 0;
    for (int i = 0; i + 1 < m_paneCount; ++i) {
        const auto at = static_cast<std::size_t>(i);
        // Shares that add up to more than the whole would give the last pane a negative size.
        m_positions[at + 1] = std::min(m_positions[at] + PixelsOf(m_shares[at], available) + m_barWidth, end);
    }
    m_positions.back() = end;
}

int CSplitLayout::BarAt(int coordinate) const
{
    int bar = 1;
    while (bar < m_paneCount - 1 && m_positions[static_cast<std::size_t>(bar)] < coordinate)
        ++bar;
    return bar;
}

int CSplitLayout::ClampTrack(int bar, int trackPos) const
{
    const int upper = Position(bar + 1) - m_minPaneSize - m_barWidth;
    const int lower = Position(bar - 1) + m_minPaneSize + m_barWidth;
    if (trackPos > upper)
        return upper;
    if (trackPos < lower)
        return lower;
    return trackPos;
}

void CSplitLayout::DropBar(int bar, int trackPos, int extent)
{
    const int available = Available(extent);
    const auto k = static_cast<std::size_t>(bar);
    m_positions[k] = trackPos;
    if (available <= 0)
        return;
    m_shares[k - 1] = ShareOf(m_positions[k] - m_positions[k - 1] - m_barWidth, available);
    m_shares[k] = ShareOf(m_positions[k + 1] - m_positions[k] - m_barWidth, available);
}
