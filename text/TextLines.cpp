#include "text/TextLines.h"

#include <algorithm>

int LineNumberAt(std::string_view text, std::size_t pos)
{
    const std::string_view before = text.substr(0, pos);
    int lines = 1 + static_cast<int>(std::count(before.begin(), before.end(), '\n'));
    // A lone "\r" ends a line too; the one of "\r\n" is counted with its "\n".
    for (std::size_t r = before.find('\r'); r != std::string_view::npos; r = before.find('\r', r + 1))
        lines += r + 1 >= text.size() || text[r + 1] != '\n';
    return lines;
}

std::string_view LineAround(std::string_view text, std::size_t pos)
{
    pos = std::min(pos, text.size());
    std::size_t start = pos;
    while (start > 0 && text[start - 1] != '\n' && text[start - 1] != '\r')
        --start;
    const std::size_t end = std::min(text.find_first_of("\r\n", pos), text.size());
    return text.substr(start, end - start);
}
