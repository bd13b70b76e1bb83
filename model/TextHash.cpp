#include "model/TextHash.h"

#include "model/CTextCodec.h"

#include <xxhash.h>

// XXH3's 128 bits, at the speed the memory reads.
TextHash TextHash::Of(std::string_view s)
{
    const XXH128_hash_t hash = XXH3_128bits(s.data(), s.size());
    return {hash.low64, hash.high64, CTextCodec::IsAscii(s)};
}
