#include "platform/CDisposer.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace {

class Worker
{
public:
    template <class Held> void Push(Held held)
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (!m_started) {
                // Never joined: at exit the process ends with whatever is left.
                std::thread([this] { Run(); }).detach();
                m_started = true;
            }
            m_queue.push_back(std::move(held));
            ++m_queued;
        }
        m_wake.notify_all();
    }

    void WaitIdle()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        const unsigned long long target = m_queued;
        m_wake.wait(lock, [&] { return m_destroyed >= target; });
    }

    void Run()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        for (;;) {
            m_wake.wait(lock, [this] { return !m_queue.empty(); });
            auto held = std::move(m_queue.front());
            m_queue.pop_front();
            lock.unlock();
            held.reset();
            lock.lock();
            ++m_destroyed;
            m_wake.notify_all();
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::unique_ptr<void, void (*)(void*)>> m_queue;
    unsigned long long m_queued = 0;
    unsigned long long m_destroyed = 0;
    bool m_started = false;
};

// Made once and never destroyed, so that the end of the process never waits for its thread.
Worker& TheWorker()
{
    static Worker* worker = new Worker;
    return *worker;
}

} // namespace

void CDisposer::Queue(std::unique_ptr<IHeld> held)
{
    TheWorker().Push(std::unique_ptr<void, void (*)(void*)>(held.release(),
                                                            [](void* p) { delete static_cast<IHeld*>(p); }));
}

void CDisposer::WaitIdle()
{
    TheWorker().WaitIdle();
}
