#pragma once

#include "support/FaultyCalls.h"

#include <atomic>
#include <chrono>
#include <future>
#include <string>

// Holds each write to a file whose name ends with suffix until Release (once), for a bound at most.
// A write that waited out the bound tells that whoever was to release it could not run meanwhile.
class HeldWrites
{
public:
    explicit HeldWrites(const std::string& suffix)
        : m_calls([this, suffix](const std::string& call, const std::string& at) {
              if (call == "Write" && at.size() >= suffix.size() &&
                  at.compare(at.size() - suffix.size(), suffix.size(), suffix) == 0 &&
                  m_released.wait_for(std::chrono::seconds(10)) == std::future_status::timeout)
                  m_waitedOut = true;
              return 0;
          })
    {
    }

    void Release() { m_release.set_value(); }
    bool WaitedOut() const { return m_waitedOut; }

private:
    std::promise<void> m_release;
    std::shared_future<void> m_released = m_release.get_future().share();
    std::atomic<bool> m_waitedOut{false};
    // Last: in place once the rest is made, and gone before it.
    FaultyCalls m_calls;
};
