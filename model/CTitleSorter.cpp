#include "model/CTitleSorter.h"

#include "model/CaseFold.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <future>
#include <string_view>

namespace {

// Below this many titles a second thread costs more than it saves.
constexpr std::size_t kParallelFrom = 1 << 16;

// The bytes a Windows-1252 title is stored as, one at a time, folded; a character the code page
// lacks comes after every byte.
class StoredBytes
{
public:
    explicit StoredBytes(const std::string& utf8) : m_text(utf8) {}

    bool AtEnd() const { return m_pos >= m_text.size(); }

    unsigned Next()
    {
        const auto byte = static_cast<unsigned char>(m_text[m_pos]);
        char32_t codePoint;
        if (byte < 0x80 || !CTextCodec::DecodeUtf8(m_text, m_pos, codePoint)) {
            ++m_pos;
            return FoldCase(byte);
        }
        const int stored = CTextCodec::Windows1252Byte(codePoint);
        return stored >= 0 ? static_cast<unsigned>(stored) : 0x100 + codePoint;
    }

private:
    const std::string& m_text;
    std::size_t m_pos = 0;
};

void AppendSymbol(unsigned symbol, CTitleSorter::Keys& key)
{
    if (symbol < 0xFF) {
        key += static_cast<char>(symbol);
    } else if (symbol == 0xFF) {
        key += "\xFF";
        key += '\0';
    } else {
        const unsigned codePoint = symbol - 0x100;
        key += "\xFF\x01";
        key += static_cast<char>(codePoint >> 16);
        key += static_cast<char>((codePoint >> 8) & 0xFF);
        key += static_cast<char>(codePoint & 0xFF);
    }
}

// Eight key bytes as one number that compares as they do.
unsigned long long BigEndian(std::string_view bytes)
{
    unsigned char word[8] = {};
    std::memcpy(word, bytes.data(), std::min<std::size_t>(bytes.size(), 8));
    unsigned long long value = 0;
    for (const unsigned char byte : word)
        value = (value << 8) | byte;
    return value;
}

} // namespace

CTitleSorter::CTitleSorter(std::size_t titles)
{
    m_starts.reserve(titles + 1);
    m_starts.push_back(0);
    m_keys.reserve(titles * 24);
}

void CTitleSorter::AppendKey(const std::string& title, TextEncoding codePage, Keys& key)
{
    if (codePage == TextEncoding::windows1252 && !CTextCodec::IsAscii(title)) {
        StoredBytes bytes(title);
        while (!bytes.AtEnd())
            AppendSymbol(bytes.Next(), key);
        return;
    }
    // Stored as they stand: only the fold to do, and 0xFF to spell out.
    const std::size_t at = key.size();
    key.resize(at + title.size());
    char* out = key.data() + at;
    bool hasFF = false;
    for (const char c : title) {
        const auto byte = static_cast<unsigned char>(c);
        hasFF = hasFF || byte == 0xFF;
        *out++ = static_cast<char>(FoldCase(byte));
    }
    if (!hasFF)
        return;
    key.resize(at);
    for (const char c : title)
        AppendSymbol(FoldCase(static_cast<unsigned char>(c)), key);
}

void CTitleSorter::Add(const std::string& title, TextEncoding codePage)
{
    AppendKey(title, codePage, m_keys);
    m_starts.push_back(m_keys.size());
}

CTitleSorter::Entry CTitleSorter::MakeEntry(std::size_t index) const
{
    const std::string_view key = std::string_view(m_keys.data(), m_keys.size())
                                     .substr(m_starts[index], m_starts[index + 1] - m_starts[index]);
    return {BigEndian(key), key.size() > 8 ? BigEndian(key.substr(8)) : 0, index};
}

// Keys that agree in their first sixteen bytes (zero past an end) are compared whole; the place
// breaks a tie, which keeps the sort stable.
bool CTitleSorter::Before(const Entry& a, const Entry& b) const
{
    if (a.head != b.head)
        return a.head < b.head;
    if (a.next != b.next)
        return a.next < b.next;
    const std::string_view keys(m_keys.data(), m_keys.size());
    const int order = keys.substr(m_starts[a.index], m_starts[a.index + 1] - m_starts[a.index])
                          .compare(keys.substr(m_starts[b.index], m_starts[b.index + 1] - m_starts[b.index]));
    return order != 0 ? order < 0 : a.index < b.index;
}

void CTitleSorter::SortRange(Entries& entries, std::size_t from, std::size_t to) const
{
    std::sort(entries.begin() + static_cast<std::ptrdiff_t>(from),
              entries.begin() + static_cast<std::ptrdiff_t>(to),
              [this](const Entry& a, const Entry& b) { return Before(a, b); });
}

// The entries go to 256 buckets by their first key byte, which orders the buckets as Before
// would; each bucket is then sorted alone, the buckets taken by both cores from one counter.
CTitleSorter::Places CTitleSorter::Order() const
{
    const std::size_t n = m_starts.size() - 1;
    std::vector<std::size_t> bucketStart(257, 0);
    for (std::size_t i = 0; i < n; ++i)
        ++bucketStart[FirstByte(i) + 1];
    for (std::size_t b = 1; b <= 256; ++b)
        bucketStart[b] += bucketStart[b - 1];
    Entries entries(n);
    std::vector<std::size_t> fill(bucketStart.begin(), bucketStart.end() - 1);
    for (std::size_t i = 0; i < n; ++i)
        entries[fill[FirstByte(i)]++] = MakeEntry(i);

    std::atomic<std::size_t> nextBucket{0};
    const auto sortBuckets = [&] {
        for (std::size_t b; (b = nextBucket.fetch_add(1)) < 256;)
            SortRange(entries, bucketStart[b], bucketStart[b + 1]);
    };
    if (n < kParallelFrom) {
        sortBuckets();
    } else {
        auto other = std::async(std::launch::async, sortBuckets);
        sortBuckets();
        other.get();
    }
    Places order(n);
    for (std::size_t i = 0; i < n; ++i)
        order[i] = entries[i].index;
    return order;
}

unsigned CTitleSorter::FirstByte(std::size_t index) const
{
    return m_starts[index] == m_starts[index + 1] ? 0u : static_cast<unsigned char>(m_keys[m_starts[index]]);
}
