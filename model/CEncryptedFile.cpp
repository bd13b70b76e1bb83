#include "model/CEncryptedFile.h"

#include "model/CBufferedFile.h"
#include "platform/CFile.h"
#include "platform/PathNames.h"
#include "platform/Sodium.h"

#include <algorithm>
#include <cstring>
#include <sys/stat.h>
#include <vector>

namespace {

using Stream = crypto_secretstream_xchacha20poly1305_state;
constexpr std::size_t kTagSize = crypto_secretstream_xchacha20poly1305_ABYTES;
constexpr std::size_t kStreamHeaderSize = crypto_secretstream_xchacha20poly1305_HEADERBYTES;
constexpr std::size_t kStreamHeaderAt = CEncryptedFile::kHeaderSize - kStreamHeaderSize;
static_assert(kStreamHeaderAt == 52, "the layout the document gives");
constexpr std::uint32_t kSmallestChunk = 4096;
constexpr std::uint32_t kLargestChunk = 16 * 1024 * 1024;

template <typename T> void Put(unsigned char* at, T value)
{
    for (std::size_t i = 0; i < sizeof value; ++i)
        at[i] = static_cast<unsigned char>(static_cast<std::uint64_t>(value) >> (8 * i));
}

template <typename T> T Get(const unsigned char* at)
{
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < sizeof(T); ++i)
        value |= std::uint64_t{at[i]} << (8 * i);
    return static_cast<T>(value);
}

} // namespace

bool CEncryptedFile::HasMagic(const std::string& path)
{
    CFile file;
    char magic[sizeof kMagic];
    try {
        return file.Open(path, CFile::modeRead | CFile::shareDenyNone) &&
               file.Read(magic, sizeof magic) == sizeof magic &&
               std::memcmp(magic, kMagic, sizeof magic) == 0;
    } catch (const CFileException&) {
        return false;
    }
}

bool CEncryptedFile::IsCutShort(const std::string& path)
{
    CFile file;
    char magic[sizeof kMagic];
    try {
        if (!file.Open(path, CFile::modeRead | CFile::shareDenyNone))
            return false;
        const std::size_t got = file.Read(magic, sizeof magic);
        return got > 0 && got < sizeof magic && std::memcmp(magic, kMagic, got) == 0;
    } catch (const CFileException&) {
        return false;
    }
}

bool CEncryptedFile::HasEncryptedName(const std::string& path)
{
    static const std::string extension = ".pelmx";
    const std::string name = FileNameOf(path);
    return name.size() > extension.size() &&
           name.compare(name.size() - extension.size(), extension.size(), extension) == 0;
}

CEncryptedFile::Result CEncryptedFile::ReadHeader(CFile& in, Header& header)
{
    unsigned char* b = header.bytes.data();
    std::size_t got = 0;
    try {
        got = in.Read(b, kHeaderSize);
    } catch (const CFileException&) {
        return Result::ReadError;
    }
    if (got > 0 && got < sizeof kMagic && std::memcmp(b, kMagic, got) == 0)
        return Result::Truncated;
    if (got < sizeof kMagic || std::memcmp(b, kMagic, sizeof kMagic) != 0)
        return Result::NotEncrypted;
    if (got < kHeaderSize)
        return Result::Truncated;
    if (Get<std::uint32_t>(b + 8) != kVersion || Get<std::uint32_t>(b + 12) != kArgon2id)
        return Result::NewerVersion;
    header.params = {Get<std::uint64_t>(b + 16), Get<std::uint64_t>(b + 24)};
    std::memcpy(header.salt.data(), b + 32, header.salt.size());
    header.chunkSize = Get<std::uint32_t>(b + 48);
    if (!header.params.IsReasonable() || header.chunkSize < kSmallestChunk ||
        header.chunkSize > kLargestChunk)
        return Result::AbsurdParameters;
    return EndsInAChunk(in, header) ? Result::Ok : Result::Truncated;
}

// Told from the length alone, before the key is made at a cost of seconds and hundreds of
// megabytes: every chunk takes its plain bytes and a tag, and only the last one, which holds at
// least a tag, may be shorter than the others.
bool CEncryptedFile::EndsInAChunk(CFile& in, const Header& header)
{
    struct stat st
    {
    };
    // A pipe has no length to tell; its chunks' own checks will.
    if (::fstat(in.GetDescriptor(), &st) != 0 || !S_ISREG(st.st_mode) ||
        static_cast<std::uint64_t>(st.st_size) < kHeaderSize)
        return true;
    const std::uint64_t chunks = static_cast<std::uint64_t>(st.st_size) - kHeaderSize;
    const std::uint64_t last = chunks % (header.chunkSize + kTagSize);
    return chunks > 0 && (last == 0 || last >= kTagSize);
}

void CEncryptedFile::Seal(CFile& plain, CFile& out, const CSealKey& key)
{
    InitSodium();
    unsigned char header[kHeaderSize];
    std::memcpy(header, kMagic, sizeof kMagic);
    Put(header + 8, kVersion);
    Put(header + 12, kArgon2id);
    Put(header + 16, key.GetParams().opsLimit);
    Put(header + 24, key.GetParams().memLimit);
    std::memcpy(header + 32, key.GetSalt().data(), key.GetSalt().size());
    Put(header + 48, kChunkSize);
    Stream stream;
    crypto_secretstream_xchacha20poly1305_init_push(&stream, header + kStreamHeaderAt, key.GetKey());
    // Sealed chunks are a few bytes longer than a block: buffered, they reach the disk as blocks.
    CBufferedFile buffered(out);
    buffered.Write(header, sizeof header);

    std::uint64_t remaining = plain.GetLength() - plain.GetPosition();
    std::vector<unsigned char> chunk(kChunkSize);
    std::vector<unsigned char> sealed(kChunkSize + kTagSize);
    // The last chunk, however short (empty for an empty input), carries the final tag.
    do {
        const auto size = static_cast<std::size_t>(std::min<std::uint64_t>(remaining, kChunkSize));
        if (plain.Read(chunk.data(), size) != size)
            throw CFileException(CFileException::endOfFile);
        remaining -= size;
        const unsigned char tag = remaining == 0 ? crypto_secretstream_xchacha20poly1305_TAG_FINAL
                                                 : crypto_secretstream_xchacha20poly1305_TAG_MESSAGE;
        unsigned long long sealedSize = 0;
        crypto_secretstream_xchacha20poly1305_push(&stream, sealed.data(), &sealedSize, chunk.data(), size,
                                                   header, sizeof header, tag);
        buffered.Write(sealed.data(), static_cast<std::size_t>(sealedSize));
    } while (remaining > 0);
    buffered.FlushBuffer();
    sodium_memzero(chunk.data(), chunk.size());
}

CEncryptedFile::Result CEncryptedFile::Unseal(CFile& in, const Header& header, const CSealKey& key,
                                              CFile& plain, const ReadProgress& progress)
{
    const std::uint64_t length = progress ? in.GetLength() : 0;
    Stream stream;
    if (crypto_secretstream_xchacha20poly1305_init_pull(&stream, header.bytes.data() + kStreamHeaderAt,
                                                        key.GetKey()) != 0)
        return Result::WrongPassphraseOrDamaged;
    std::vector<unsigned char> sealed(header.chunkSize + kTagSize);
    std::vector<unsigned char> chunk(header.chunkSize);
    for (bool first = true;; first = false) {
        std::size_t got = 0;
        try {
            got = in.Read(sealed.data(), sealed.size());
        } catch (const CFileException&) {
            return Result::ReadError;
        }
        if (got == 0)
            return Result::Truncated;
        unsigned long long size = 0;
        unsigned char tag = 0;
        if (got < kTagSize ||
            crypto_secretstream_xchacha20poly1305_pull(&stream, chunk.data(), &size, &tag, sealed.data(), got,
                                                       header.bytes.data(), kHeaderSize) != 0)
            return first ? Result::WrongPassphraseOrDamaged : Result::Damaged;
        // Pelmora writes no other tags; a reader that took them would read what no writer meant.
        if (tag != crypto_secretstream_xchacha20poly1305_TAG_MESSAGE &&
            tag != crypto_secretstream_xchacha20poly1305_TAG_FINAL)
            return Result::Damaged;
        plain.Write(chunk.data(), static_cast<std::size_t>(size));
        if (tag == crypto_secretstream_xchacha20poly1305_TAG_FINAL) {
            unsigned char after = 0;
            return in.Read(&after, 1) == 0 ? Result::Ok : Result::Damaged;
        }
        // Only the final chunk may be short.
        if (got < sealed.size())
            return Result::Truncated;
        if (progress && !progress(in.GetPosition(), length))
            throw ReadCancelled();
    }
}

const char* CEncryptedFile::Message(Result result)
{
    switch (result) {
    case Result::NewerVersion:
        return "ERROR: This encrypted notebook needs a newer version of Pelmora.";
    case Result::AbsurdParameters:
        return "ERROR: This encrypted notebook asks for more memory or time to open than Pelmora gives.";
    case Result::WrongPassphraseOrDamaged:
        return "ERROR: Wrong passphrase, or the encrypted notebook was changed or damaged.";
    case Result::Damaged:
        return "ERROR: The encrypted notebook was changed or damaged; nothing of it was opened.";
    case Result::Truncated:
        return "ERROR: The encrypted notebook is cut short; nothing of it was opened.";
    default:
        return "ERROR: Could not read file.";
    }
}
