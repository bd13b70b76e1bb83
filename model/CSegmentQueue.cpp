#include "model/CSegmentQueue.h"

#include <algorithm>

namespace {

bool Smaller(const CSegmentQueue::Segment& a, const CSegmentQueue::Segment& b)
{
    return a.count < b.count;
}

} // namespace

CSegmentQueue::CSegmentQueue(std::vector<Segment> segments) : m_segments(std::move(segments))
{
    std::sort(m_segments.begin(), m_segments.end(), Smaller);
}

bool CSegmentQueue::Take(Segment& segment)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    m_changed.wait(lock, [this] { return !m_segments.empty() || m_busy == 0; });
    if (m_segments.empty())
        return false;
    segment = m_segments.back();
    m_segments.pop_back();
    ++m_busy;
    return true;
}

void CSegmentQueue::Give(const Segment& segment)
{
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_segments.insert(std::upper_bound(m_segments.begin(), m_segments.end(), segment, Smaller), segment);
    }
    m_changed.notify_one();
}

void CSegmentQueue::Done()
{
    bool finished;
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        finished = --m_busy == 0 && m_segments.empty();
    }
    if (finished)
        m_changed.notify_all();
}
