#pragma once

#include "platform/HugePageAllocator.h"

#include <cstddef>
#include <type_traits>
#include <utility>

// A fixed number of plain values from HugePageAllocator, left unset: for a command that fills every
// slot itself, on more than one thread, so that the first touch of each page is shared too. A
// vector would set every slot first, on one thread.
template <typename T> class HugePageArray
{
    static_assert(std::is_trivially_copyable_v<T> && std::is_trivially_destructible_v<T>);

public:
    HugePageArray() : m_size(0), m_data(nullptr) {}
    explicit HugePageArray(std::size_t size)
        : m_size(size), m_data(size == 0 ? nullptr : HugePageAllocator<T>().allocate(size))
    {
    }
    HugePageArray(HugePageArray&& other) noexcept
        : m_size(std::exchange(other.m_size, 0)), m_data(std::exchange(other.m_data, nullptr))
    {
    }
    HugePageArray& operator=(HugePageArray&& other) noexcept
    {
        std::swap(m_size, other.m_size);
        std::swap(m_data, other.m_data);
        return *this;
    }
    HugePageArray(const HugePageArray&) = delete;
    HugePageArray& operator=(const HugePageArray&) = delete;
    ~HugePageArray()
    {
        if (m_data)
            HugePageAllocator<T>().deallocate(m_data, m_size);
    }

    std::size_t size() const { return m_size; }
    T* data() { return m_data; }
    const T* data() const { return m_data; }
    T& operator[](std::size_t i) { return m_data[i]; }
    const T& operator[](std::size_t i) const { return m_data[i]; }

private:
    std::size_t m_size;
    T* m_data;
};
