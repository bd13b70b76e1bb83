#pragma once

#include <string>
#include <string_view>
#include <vector>

// The lines that changed between two texts, as diff -u shows them: hunks of removed ("-") and
// added ("+") lines with up to three unchanged lines (" ") around each. Myers' algorithm, in time
// proportional to the lines times the changes; past a bound of changes the whole text counts as
// replaced.
class CLineDiff
{
public:
    static constexpr int kContext = 3;
    static constexpr std::size_t kMostChanges = 1000;

    // Each line of the result is one line of the hunks, marked; "@@" lines start the hunks.
    static std::vector<std::string> Unified(std::string_view before, std::string_view after);

private:
    static std::vector<std::string_view> Lines(std::string_view text);
};
