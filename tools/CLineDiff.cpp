#include "tools/CLineDiff.h"

#include <algorithm>

namespace {

enum class Op : char
{
    same = ' ',
    removed = '-',
    added = '+'
};

struct Edit
{
    Op op;
    std::size_t before;
    std::size_t after;
};

// The shortest edit script from a to b, or empty when it needs more than most changes.
bool ShortestEdit(const std::vector<std::string_view>& a, const std::vector<std::string_view>& b,
                  std::size_t most, std::vector<Edit>& script)
{
    const auto n = static_cast<long>(a.size());
    const auto m = static_cast<long>(b.size());
    const long limit = std::min<long>(n + m, static_cast<long>(most));
    const long offset = limit + 1;
    std::vector<long> v(2 * static_cast<std::size_t>(offset) + 1, 0);
    std::vector<std::vector<long>> trace;
    for (long d = 0; d <= limit; ++d) {
        trace.push_back(v);
        for (long k = -d; k <= d; k += 2) {
            long x = (k == -d || (k != d && v[k - 1 + offset] < v[k + 1 + offset])) ? v[k + 1 + offset]
                                                                                    : v[k - 1 + offset] + 1;
            long y = x - k;
            while (x < n && y < m && a[x] == b[y]) {
                ++x;
                ++y;
            }
            v[k + offset] = x;
            if (x >= n && y >= m) {
                // Walk back through the rounds to collect the script.
                long cx = n;
                long cy = m;
                for (long e = d; e > 0; --e) {
                    const std::vector<long>& pv = trace[e];
                    const long ck = cx - cy;
                    const bool down = ck == -e || (ck != e && pv[ck - 1 + offset] < pv[ck + 1 + offset]);
                    const long pk = down ? ck + 1 : ck - 1;
                    const long px = pv[pk + offset];
                    const long py = px - pk;
                    while (cx > px + (down ? 0 : 1) && cy > py + (down ? 1 : 0)) {
                        --cx;
                        --cy;
                        script.push_back(
                            {Op::same, static_cast<std::size_t>(cx), static_cast<std::size_t>(cy)});
                    }
                    if (down) {
                        --cy;
                        script.push_back(
                            {Op::added, static_cast<std::size_t>(cx), static_cast<std::size_t>(cy)});
                    } else {
                        --cx;
                        script.push_back(
                            {Op::removed, static_cast<std::size_t>(cx), static_cast<std::size_t>(cy)});
                    }
                }
                while (cx > 0 && cy > 0) {
                    --cx;
                    --cy;
                    script.push_back({Op::same, static_cast<std::size_t>(cx), static_cast<std::size_t>(cy)});
                }
                std::reverse(script.begin(), script.end());
                return true;
            }
        }
    }
    return false;
}

} // namespace

std::vector<std::string_view> CLineDiff::Lines(std::string_view text)
{
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        std::string_view line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

std::vector<std::string> CLineDiff::Unified(std::string_view before, std::string_view after)
{
    const std::vector<std::string_view> a = Lines(before);
    const std::vector<std::string_view> b = Lines(after);
    std::vector<Edit> script;
    if (!ShortestEdit(a, b, kMostChanges, script)) {
        script.clear();
        for (std::size_t i = 0; i < a.size(); ++i)
            script.push_back({Op::removed, i, 0});
        for (std::size_t j = 0; j < b.size(); ++j)
            script.push_back({Op::added, a.size(), j});
    }
    std::vector<std::string> out;
    std::size_t i = 0;
    while (i < script.size()) {
        if (script[i].op == Op::same) {
            ++i;
            continue;
        }
        // A hunk: from a change back by the context, on while changes come closer than twice it.
        std::size_t first = i >= kContext ? i - kContext : 0;
        while (first < i && script[first].op != Op::same)
            ++first;
        std::size_t last = i;
        std::size_t sameRun = 0;
        for (std::size_t j = i; j < script.size(); ++j) {
            if (script[j].op == Op::same) {
                if (++sameRun > 2 * kContext)
                    break;
            } else {
                sameRun = 0;
                last = j;
            }
        }
        const std::size_t end = std::min(script.size(), last + 1 + kContext);
        std::size_t lineBefore = script[first].before + 1;
        std::size_t lineAfter = script[first].after + 1;
        std::size_t countBefore = 0;
        std::size_t countAfter = 0;
        for (std::size_t j = first; j < end; ++j) {
            countBefore += script[j].op != Op::added;
            countAfter += script[j].op != Op::removed;
        }
        out.push_back("@@ -" + std::to_string(countBefore ? lineBefore : lineBefore - 1) + "," +
                      std::to_string(countBefore) + " +" +
                      std::to_string(countAfter ? lineAfter : lineAfter - 1) + "," +
                      std::to_string(countAfter) + " @@");
        for (std::size_t j = first; j < end; ++j) {
            const Edit& e = script[j];
            const std::string_view line = e.op == Op::added ? b[e.after] : a[e.before];
            out.push_back(static_cast<char>(e.op) + std::string(line));
        }
        i = end;
    }
    return out;
}
