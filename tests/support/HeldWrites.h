#pragma once

#include "support/FaultyCalls.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>

// Holds each write to a file whose name ends with suffix until Release, for a bound at most. A
// write that waited out the bound tells that whoever was to release it could not run meanwhile.
class HeldWrites
{
public:
    explicit HeldWrites(const std::string& suffix)
        : m_calls([this, suffix](const std::string& call, const std::string& at) {
              if (call == "Write" && at.size() >= suffix.size() &&
                  at.compare(at.size() - suffix.size(), suffix.size(), suffix) == 0)
                  Hold();
              return 0;
          })
    {
    }

    void Release()
    {
        {
            const std::lock_guard<std::mutex> hold(m_lock);
            m_released = true;
        }
        m_wake.notify_all();
    }
    bool WaitedOut()
    {
        const std::lock_guard<std::mutex> hold(m_lock);
        return m_waitedOut;
    }

private:
    void Hold()
    {
        std::unique_lock<std::mutex> hold(m_lock);
        if (!m_wake.wait_for(hold, std::chrono::seconds(10), [this] { return m_released; }))
            m_waitedOut = true;
    }

    std::mutex m_lock;
    std::condition_variable m_wake;
    bool m_released = false;
    bool m_waitedOut = false;
    // Last: in place once the rest is made, and gone before it.
    FaultyCalls m_calls;
};
