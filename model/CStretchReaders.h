#pragma once

#include <atomic>
#include <cstddef>
#include <memory>
#include <thread>
#include <vector>

class CStoredStretch;

// Threads that read the stretches of a notebook file from the last one back, as long as the walk
// from the first record has not reached the one they would take next.
class CStretchReaders
{
public:
    // Each thread's notes take a block of their own from batched notes on.
    CStretchReaders(const std::vector<std::unique_ptr<CStoredStretch>>& stretches, unsigned threads,
                    std::size_t batched);
    // Leaves the stretches not taken to nobody, stops those being read, and waits for the threads.
    ~CStretchReaders();
    CStretchReaders(const CStretchReaders&) = delete;
    CStretchReaders& operator=(const CStretchReaders&) = delete;

private:
    void ReadFromTheBack();

    const std::vector<std::unique_ptr<CStoredStretch>>& m_stretches;
    std::atomic<std::ptrdiff_t> m_left;
    const std::size_t m_batched;
    std::vector<std::thread> m_threads;
};
