#pragma once

#include <memory>
#include <type_traits>
#include <utility>

// Gives large structures back on a thread of its own. Freeing a notebook of a million notes takes
// most of a second, which a closing window should not wait for; at the end of the process nothing
// waits for it at all, as the system takes the memory back whole.
class CDisposer
{
public:
    // Takes what value owns; it is destroyed later, on the disposer's thread. What it holds must
    // need nothing but its memory, mappings and descriptors back: no state shared with anyone
    // still running, no globals but those made to outlive the process's end (CBatchMemory's).
    template <class T> static void Later(T&& value)
    {
        Queue(std::make_unique<Holder<std::decay_t<T>>>(std::forward<T>(value)));
    }

    // Returns once everything queued so far is destroyed.
    static void WaitIdle();

private:
    struct IHeld
    {
        virtual ~IHeld() = default;
    };
    template <class T> struct Holder : IHeld
    {
        explicit Holder(T&& v) : value(std::move(v)) {}
        T value;
    };

    static void Queue(std::unique_ptr<IHeld> held);
};
