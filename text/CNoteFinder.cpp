#include "text/CNoteFinder.h"

#include "model/CTextCodec.h"
#include "model/CTextString.h"

#include <cstring>

namespace {

// A note's string as the byte search reads it, borrowed and never written.
class Field
{
public:
    explicit Field(std::string_view text)
    {
        m_text.Attach(const_cast<char*>(text.data()), static_cast<int>(text.size()));
    }
    int Find(const std::string& pattern, int start) const
    {
        return m_text.Find(pattern.c_str(), start, true);
    }
    int Count(const std::string& pattern, bool* beyondAscii) const
    {
        return m_text.Count(pattern.c_str(), true, beyondAscii);
    }

private:
    CTextString m_text;
};

constexpr std::size_t kNone = static_cast<std::size_t>(-1);

} // namespace

void CNoteFinder::SetPattern(const std::string& pattern)
{
    m_folded.Fold(pattern, CFoldedText::Case::asciiLetters);
    m_key = m_folded.Get();
    m_keyAscii = CTextCodec::IsAscii(m_key);
    m_keyMarks = CFoldedText::OnlyMarks(m_key);
    m_keyNeedsNormalizing = m_key.find_first_of("k;`") != std::string::npos;
    m_foldedData = nullptr;
    m_foldedSize = 0;
}

void CNoteFinder::Prepare(std::string_view text)
{
    if (m_foldedData == text.data() && m_foldedSize == text.size())
        return;
    m_folded.Fold(text, CFoldedText::Case::asciiLetters);
    m_foldedData = text.data();
    m_foldedSize = text.size();
    m_lastOriginal = kNone;
}

std::size_t CNoteFinder::Count(std::string_view text)
{
    // Decomposed ASCII is ASCII: a key beyond it is in no such string. The byte count reads the
    // text anyway and says on the way whether it is ASCII.
    if (m_keyAscii && !m_key.empty()) {
        bool beyondAscii = false;
        const auto bytes = static_cast<std::size_t>(Field(text).Count(m_key, &beyondAscii));
        if ((bytes == 0 && !m_keyNeedsNormalizing) || !beyondAscii)
            return bytes;
    } else if (m_key.empty() || CTextCodec::IsAscii(text)) {
        return 0;
    }
    // Counted texts come one after another in the same scratch: the last fold is not this one's.
    m_foldedData = nullptr;
    std::size_t count = 0;
    int length = 0;
    for (int at = Find(text, 0, length); at >= 0; at = Find(text, at + 1, length))
        ++count;
    return count;
}

std::size_t CNoteFinder::Count(const CNote::StoredAscii& text) const
{
    // Decomposed and folded ASCII is the bytes themselves: only an ASCII key is in it.
    if (!m_keyAscii || m_key.empty())
        return 0;
    return static_cast<std::size_t>(CTextString::CountShifted(reinterpret_cast<const char*>(text.bytes),
                                                              text.length, text.shifts, m_key.c_str(), true));
}

int CNoteFinder::Find(std::string_view text, int from, int& length)
{
    // In ASCII the occurrence is as long as the key: a Kelvin sign searched finds a K.
    length = static_cast<int>(m_key.size());
    if (m_key.empty() || from < 0 || static_cast<std::size_t>(from) >= text.size())
        return -1;
    if (m_keyAscii) {
        const int at = Field(text).Find(m_key, from);
        if ((at < 0 && !m_keyNeedsNormalizing) || CTextCodec::IsAscii(text))
            return at;
    } else if (CTextCodec::IsAscii(text)) {
        return -1;
    }
    Prepare(text);
    const std::string_view haystack = m_folded.Get();
    const auto origin = static_cast<std::size_t>(from);
    std::size_t at = m_lastOriginal != kNone && origin == m_lastOriginal + 1 ? m_lastFolded + 1
                                                                             : m_folded.ToFolded(origin);
    while (at < haystack.size()) {
        const void* hit = memmem(haystack.data() + at, haystack.size() - at, m_key.data(), m_key.size());
        if (!hit)
            return -1;
        at = static_cast<std::size_t>(static_cast<const char*>(hit) - haystack.data());
        const std::size_t end = at + m_key.size();
        if (m_folded.StartsCharacter(at, m_keyMarks) && m_folded.StartsCharacter(end, m_keyMarks)) {
            m_lastOriginal = m_folded.ToOriginal(at);
            m_lastFolded = at;
            length = static_cast<int>(m_folded.ToOriginal(end) - m_lastOriginal);
            return static_cast<int>(m_lastOriginal);
        }
        ++at;
    }
    return -1;
}
