#include "model/TextHash.h"

#include <cstring>
#include <xxhash.h>

// XXH3's 128 bits, at the speed the memory reads; the ASCII test has no chain between words.
TextHash TextHash::Of(std::string_view s)
{
    const XXH128_hash_t hash = XXH3_128bits(s.data(), s.size());
    std::uint64_t high = 0;
    std::size_t i = 0;
    for (; i + 8 <= s.size(); i += 8) {
        std::uint64_t w;
        std::memcpy(&w, s.data() + i, 8);
        high |= w;
    }
    for (; i < s.size(); ++i)
        high |= static_cast<unsigned char>(s[i]);
    return {hash.low64, hash.high64, (high & 0x8080808080808080ull) == 0};
}
