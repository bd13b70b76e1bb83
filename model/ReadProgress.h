#pragma once

#include <cstddef>
#include <functional>

// What a long read tells of its progress: done of total pieces. It returns false once the user
// cancelled, and the read then stops by raising ReadCancelled. Empty where nobody watches.
using ReadProgress = std::function<bool(std::size_t done, std::size_t total)>;

// Raised by a read the user cancelled; the notebook is left as a failed read leaves it, with no
// message, as the user chose it.
struct ReadCancelled
{
};
