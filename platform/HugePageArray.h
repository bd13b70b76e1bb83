#pragma once

#include "platform/HugePageAllocator.h"

#include <cstddef>
#include <cstdint>
#include <type_traits>
#include <utility>

// A fixed number of plain values from HugePageAllocator, left unset: for a command that fills every
// slot itself, on more than one thread, so that the first touch of each page is shared too. A
// vector would set every slot first, on one thread.
template <typename T> class HugePageArray
{
    static_assert(std::is_trivially_copyable_v<T> && std::is_trivially_destructible_v<T>);
    template <typename U> friend class HugePageArray;

public:
    HugePageArray() : m_size(0), m_data(nullptr), m_bytes(0) {}
    explicit HugePageArray(std::size_t size)
        : m_size(size), m_data(size == 0 ? nullptr : HugePageAllocator<T>().allocate(size)),
          m_bytes(size * sizeof(T))
    {
    }
    HugePageArray(HugePageArray&& other) noexcept
        : m_size(std::exchange(other.m_size, 0)), m_data(std::exchange(other.m_data, nullptr)),
          m_bytes(std::exchange(other.m_bytes, 0))
    {
    }
    HugePageArray& operator=(HugePageArray&& other) noexcept
    {
        std::swap(m_size, other.m_size);
        std::swap(m_data, other.m_data);
        std::swap(m_bytes, other.m_bytes);
        return *this;
    }
    HugePageArray(const HugePageArray&) = delete;
    HugePageArray& operator=(const HugePageArray&) = delete;
    ~HugePageArray()
    {
        if (m_data)
            HugePageAllocator<unsigned char>().deallocate(reinterpret_cast<unsigned char*>(m_data), m_bytes);
    }

    // The block of an array done with, for size values of this type left unset: memory that was
    // touched already, where fresh memory would be faulted in again. A fresh block when it cannot
    // hold them.
    template <typename U> static HugePageArray Reusing(HugePageArray<U>&& done, std::size_t size)
    {
        if (size == 0 || size > done.m_bytes / sizeof(T) ||
            reinterpret_cast<std::uintptr_t>(done.m_data) % alignof(T) != 0)
            return HugePageArray(size);
        HugePageArray reused;
        reused.m_size = size;
        reused.m_data = reinterpret_cast<T*>(std::exchange(done.m_data, nullptr));
        reused.m_bytes = std::exchange(done.m_bytes, 0);
        done.m_size = 0;
        return reused;
    }

    std::size_t size() const { return m_size; }
    T* data() { return m_data; }
    const T* data() const { return m_data; }
    T& operator[](std::size_t i) { return m_data[i]; }
    const T& operator[](std::size_t i) const { return m_data[i]; }

private:
    std::size_t m_size;
    T* m_data;
    std::size_t m_bytes; // as taken from the allocator, which it goes back as
};
