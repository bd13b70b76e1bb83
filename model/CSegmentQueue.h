#pragma once

#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <vector>

// The parts of an array that sorters on several threads still have to order, shared among them.
// The largest part is taken first, so that no thread is left alone with a large one at the end.
// The queue is finished once it is empty and nobody holds a part, since a part being worked on
// may still give new ones.
class CSegmentQueue
{
public:
    struct Segment
    {
        std::size_t from;
        std::size_t count;
        std::size_t depth; // the key bytes all of its entries share
    };

    explicit CSegmentQueue(std::vector<Segment> segments);

    // Waits for a part while others may still give one; false once the queue is finished. Every
    // part taken is answered by Done.
    bool Take(Segment& segment);
    void Give(const Segment& segment);
    void Done();

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<Segment> m_segments; // ascending by count, the largest last
    int m_busy = 0;
};
