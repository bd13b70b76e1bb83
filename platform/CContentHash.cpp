#include "platform/CContentHash.h"

#include <cerrno>
#include <fcntl.h>
#include <memory>
#include <unistd.h>
#include <vector>
#include <xxhash.h>

namespace {

constexpr std::size_t kBlock = 1 << 20;

struct StateDeleter
{
    void operator()(XXH3_state_t* state) const { XXH3_freeState(state); }
};

} // namespace

bool CContentHash::ReadBlocks(int descriptor,
                              const std::function<void(const unsigned char*, std::size_t)>& take,
                              const std::atomic<bool>* cancel)
{
    std::vector<unsigned char> block(kBlock);
    off_t offset = 0;
    for (;;) {
        if (cancel && cancel->load(std::memory_order_relaxed))
            return false;
        const ssize_t got = ::pread(descriptor, block.data(), block.size(), offset);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return false;
        if (got == 0)
            return true;
        take(block.data(), static_cast<std::size_t>(got));
        offset += got;
    }
}

bool CContentHash::OfDescriptor(int descriptor, CContentHash& hash, const std::atomic<bool>* cancel)
{
    hash = CContentHash();
    std::unique_ptr<XXH3_state_t, StateDeleter> state(XXH3_createState());
    if (!state || XXH3_128bits_reset(state.get()) != XXH_OK)
        return false;
    XXH3_state_t* const running = state.get();
    if (!ReadBlocks(
            descriptor,
            [running](const unsigned char* bytes, std::size_t size) {
                XXH3_128bits_update(running, bytes, size);
            },
            cancel))
        return false;
    const XXH128_hash_t digest = XXH3_128bits_digest(running);
    hash.m_known = true;
    hash.m_high = digest.high64;
    hash.m_low = digest.low64;
    return true;
}

bool CContentHash::OfPath(const std::string& path, CContentHash& hash)
{
    hash = CContentHash();
    // Non-blocking, so that a pipe in the file's place cannot hold the window.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return false;
    const bool read = OfDescriptor(fd, hash);
    ::close(fd);
    return read;
}

std::string CContentHash::ToText() const
{
    if (!m_known)
        return {};
    static const char digits[] = "0123456789abcdef";
    std::string text(32, '0');
    for (int i = 0; i < 16; ++i) {
        text[static_cast<std::size_t>(15 - i)] = digits[(m_high >> (4 * i)) & 0xF];
        text[static_cast<std::size_t>(31 - i)] = digits[(m_low >> (4 * i)) & 0xF];
    }
    return text;
}

CContentHash CContentHash::Parse(const std::string& text)
{
    CContentHash hash;
    if (text.size() != 32)
        return hash;
    std::uint64_t halves[2] = {0, 0};
    for (std::size_t i = 0; i < 32; ++i) {
        const char c = text[i];
        const int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
        if (digit < 0)
            return hash;
        halves[i / 16] = halves[i / 16] << 4 | static_cast<std::uint64_t>(digit);
    }
    hash.m_known = true;
    hash.m_high = halves[0];
    hash.m_low = halves[1];
    return hash;
}
