#include "model/ExportName.h"

#include <cstring>

namespace {

constexpr std::size_t kMaxTitleBytes = 120;

bool Unsafe(unsigned char c)
{
    // Separators, controls, and what Windows refuses in a name, so that the files travel.
    return c < 0x20 || c == 0x7F || std::strchr("/\\:*?\"<>|", c) != nullptr;
}

// Cuts a UTF-8 string to at most max bytes without splitting a character.
void CutUtf8(std::string& text, std::size_t max)
{
    if (text.size() <= max)
        return;
    std::size_t end = max;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
        --end;
    text.resize(end);
}

} // namespace

std::string ExportName(std::size_t position, std::size_t count, const std::string& title)
{
    std::string safe;
    for (char c : title)
        safe += Unsafe(static_cast<unsigned char>(c)) ? '_' : c;
    CutUtf8(safe, kMaxTitleBytes);
    // Blanks and dots at either end go: Windows drops them at the end of a name.
    const auto first = safe.find_first_not_of(" .");
    safe = first == std::string::npos ? std::string()
                                      : safe.substr(first, safe.find_last_not_of(" .") - first + 1);

    std::string number = std::to_string(position);
    const std::size_t width = std::to_string(count).size();
    if (number.size() < width)
        number.insert(0, width - number.size(), '0');
    return safe.empty() ? number + ".txt" : number + " " + safe + ".txt";
}
