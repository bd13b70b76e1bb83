#include "text/CWordCounter.h"

namespace {

constexpr bool IsBlank(unsigned char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

} // namespace

// A word starts wherever a byte that is no blank follows one that is; the loop has no branch, so
// the compiler takes many bytes at a time.
void CWordCounter::Add(std::string_view piece)
{
    if (piece.empty())
        return;
    std::uint64_t starts = 0;
    bool before = !m_inWord;
    for (const char c : piece) {
        const bool blank = IsBlank(static_cast<unsigned char>(c));
        starts += static_cast<std::uint64_t>(before & !blank);
        before = blank;
    }
    m_words += starts;
    m_inWord = !before;
}
