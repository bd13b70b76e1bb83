#include "platform/CDisposer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <vector>

namespace {

struct Counted
{
    explicit Counted(std::atomic<int>& destroyed) : m_destroyed(&destroyed) {}
    Counted(Counted&& other) noexcept : m_destroyed(other.m_destroyed) { other.m_destroyed = nullptr; }
    ~Counted()
    {
        if (m_destroyed)
            ++*m_destroyed;
    }
    std::atomic<int>* m_destroyed;
};

} // namespace

TEST(Disposer, DestroysWhatItIsGivenOnceAndWaitsForIt)
{
    std::atomic<int> destroyed{0};
    std::vector<Counted> many;
    for (int i = 0; i < 1000; ++i)
        many.emplace_back(destroyed);
    CDisposer::Later(std::move(many));
    CDisposer::Later(std::make_unique<Counted>(destroyed));
    CDisposer::WaitIdle();
    EXPECT_EQ(destroyed.load(), 1001);
    CDisposer::WaitIdle();
    EXPECT_EQ(destroyed.load(), 1001);
}
