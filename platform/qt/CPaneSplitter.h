#pragma once

#include "platform/CSplitLayout.h"

#include <QPointer>
#include <QWidget>

#include <cstdint>
#include <vector>

// Panes along one axis with bars between them that the user drags. During a drag only a tracking
// band moves over the panes; the panes move once, at the release. The splitter places its panes
// but does not own them.
class CPaneSplitter : public QWidget
{
    Q_OBJECT

public:
    enum class Orientation
    {
        SideBySide,
        Stacked
    };

    CPaneSplitter(int paneCount, Orientation orientation, int minPaneSize, int barWidth,
                  QWidget* parent = nullptr);
    ~CPaneSplitter() override;

    bool CreatePane(int index, QWidget* pane);
    QRect GetPaneRect(int index) const;
    void SetPaneWeights(const std::vector<int>& weights);
    void LayoutPanes();
    void RepositionPanes();

    // Only a splitter of exactly two panes hands out and takes shares; others leave them alone.
    void GetPaneShares(std::int32_t& first, std::int32_t& second) const;
    void SetPaneShares(std::int32_t first, std::int32_t second);

    bool IsTracking() const { return m_trackBar != 0; }
    // The band drawn over the panes while a bar is dragged.
    QWidget* TrackingBand() const { return m_band; }
    const CSplitLayout& Layout() const { return m_layout; }

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    bool SideBySide() const { return m_orientation == Orientation::SideBySide; }
    int Along(const QPoint& point) const { return SideBySide() ? point.x() : point.y(); }
    int Extent() const { return SideBySide() ? width() : height(); }
    int CrossExtent() const { return SideBySide() ? height() : width(); }
    QRect Span(int from, int length, int cross) const;
    void DrawTracker();
    void EndTracking();

    Orientation m_orientation;
    CSplitLayout m_layout;
    std::vector<QPointer<QWidget>> m_panes;
    QWidget* m_band;
    int m_trackBar = 0;
    int m_trackPos = 0;
    int m_trackExtent = 0;
    int m_grabOffset = 0;
};
