#include "text/CTextReplacer.h"

namespace {

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

} // namespace

CTextReplacer::CTextReplacer(CTextMatcher& matcher, std::string replacement)
    : m_matcher(matcher), m_replacement(std::move(replacement))
{
}

bool CTextReplacer::ReplaceAll(std::string_view text, std::string& out, std::size_t& count,
                               std::vector<Edit>* edits, std::string* removed)
{
    out.clear();
    count = 0;
    std::size_t copied = 0;
    const bool finished = m_matcher.ForEachMatch(text, [&](std::size_t start, std::size_t end) {
        // Room for a longer replacement now and then, so the text is rarely moved while it grows.
        if (out.empty())
            out.reserve(text.size() + text.size() / 16 + m_replacement.size());
        out.append(text.substr(copied, start - copied));
        const std::size_t at = out.size();
        Expand(text, start, end, out);
        if (edits)
            edits->push_back({at, out.size() - at, end - start});
        if (removed)
            removed->append(text.substr(start, end - start));
        copied = end;
        ++count;
        return true;
    });
    if (finished && count > 0)
        out.append(text.substr(copied));
    return finished;
}

bool CTextReplacer::ReplacementAt(std::string_view text, std::size_t start, std::string& replacement)
{
    bool found = false;
    replacement.clear();
    m_matcher.ForEachMatch(text, [&](std::size_t matchStart, std::size_t matchEnd) {
        if (matchStart < start)
            return true;
        if (matchStart == start) {
            Expand(text, matchStart, matchEnd, replacement);
            found = true;
        }
        return false;
    });
    return found;
}

// Only valid while the matcher's callback for this occurrence runs: the groups are its own.
void CTextReplacer::Expand(std::string_view text, std::size_t start, std::size_t end, std::string& out) const
{
    if (!m_matcher.IsRegex()) {
        out += m_replacement;
        return;
    }
    const std::string& r = m_replacement;
    for (std::size_t i = 0; i < r.size(); ++i) {
        if (r[i] != '$' || i + 1 == r.size()) {
            out += r[i];
            continue;
        }
        std::size_t next = i + 1;
        const bool braced = r[next] == '{';
        if (braced)
            ++next;
        std::size_t digits = 0;
        unsigned group = 0;
        while (next + digits < r.size() && digits < 2 && IsDigit(r[next + digits]))
            group = group * 10 + static_cast<unsigned>(r[next + digits++] - '0');
        std::size_t groupStart = 0;
        std::size_t groupEnd = 0;
        // "$12" with fewer than twelve groups is group 1 and a "2".
        if (!braced && digits == 2 && !m_matcher.GetGroup(group, groupStart, groupEnd)) {
            digits = 1;
            group /= 10;
        }
        const bool closed = !braced || (next + digits < r.size() && r[next + digits] == '}');
        if (r[i + 1] == '$') {
            out += '$';
            ++i;
        } else if (digits == 0 || !closed) {
            out += '$';
        } else {
            if (group == 0) {
                out.append(text.substr(start, end - start));
            } else if (m_matcher.GetGroup(group, groupStart, groupEnd)) {
                out.append(text.substr(groupStart, groupEnd - groupStart));
            }
            i = next + digits - 1 + (braced ? 1 : 0);
        }
    }
}

std::string CTextReplacer::Revert(std::string_view text, const Edit* edits, std::size_t count,
                                  std::string_view removed)
{
    std::size_t oldSize = text.size();
    for (std::size_t i = 0; i < count; ++i)
        oldSize = oldSize - edits[i].newLength + edits[i].oldLength;
    std::string old;
    old.reserve(oldSize);
    std::size_t copied = 0;
    std::size_t taken = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const Edit& edit = edits[i];
        old.append(text.substr(copied, edit.start - copied));
        old.append(removed.substr(taken, edit.oldLength));
        taken += edit.oldLength;
        copied = edit.start + edit.newLength;
    }
    old.append(text.substr(copied));
    return old;
}
