#pragma once

#include "model/CSealKey.h"
#include "model/ReadProgress.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

class CFile;

// The encrypted notebook file (.pelmx): a plain header, then the bytes of an ordinary notebook
// sealed in chunks with libsodium's crypto_secretstream_xchacha20poly1305, every chunk carrying
// the header as additional data. docs/encrypted-notebook.md describes the layout.
class CEncryptedFile
{
public:
    static constexpr char kMagic[8] = {'P', 'E', 'L', 'M', 'O', 'R', 'A', 'X'};
    static constexpr std::uint32_t kVersion = 1;
    static constexpr std::uint32_t kArgon2id = 2;
    static constexpr std::size_t kHeaderSize = 76;
    static constexpr std::uint32_t kChunkSize = 1024 * 1024;

    enum class Result
    {
        Ok,
        NotEncrypted,
        NewerVersion,
        AbsurdParameters,
        WrongPassphraseOrDamaged,
        Damaged,
        Truncated,
        ReadError,
    };

    struct Header
    {
        CSealKey::Params params{};
        CSealKey::Salt salt{};
        std::uint32_t chunkSize = 0;
        std::array<unsigned char, kHeaderSize> bytes{};
    };

    // Whether the file at path begins as an encrypted notebook does.
    static bool HasMagic(const std::string& path);
    // Whether the file is for the encrypted reader: it has the mark, or it is named as an encrypted
    // notebook and holds a cut piece of the mark.
    static bool IsForEncryptedReader(const std::string& path)
    {
        return HasMagic(path) || (HasEncryptedName(path) && IsCutShort(path));
    }
    // Whether the file holds only the first bytes of the mark of an encrypted notebook: one cut
    // short, which must not open as an empty plain notebook.
    static bool IsCutShort(const std::string& path);
    // Whether the name ends in .pelmx, which an encrypted notebook's name does and a plain one's
    // never, so that the Windows program never meets an encrypted notebook.
    static bool HasEncryptedName(const std::string& path);
    // Reads and checks the header: the version, the cost of the key and the chunk size are refused
    // here, before any work, when they are beyond what Pelmora would ever write or accept, and so is
    // a file whose length no chunks can fill.
    static Result ReadHeader(CFile& in, Header& header);
    // Seals the whole of plain, from its current position, into out; raises CFileException.
    static void Seal(CFile& plain, CFile& out, const CSealKey& key);
    // Opens the chunks that follow the header into plain. Anything but Ok leaves plain partly
    // written, never to be used. Reports the bytes read after each chunk, and raises ReadCancelled
    // once the report says so.
    static Result Unseal(CFile& in, const Header& header, const CSealKey& key, CFile& plain,
                         const ReadProgress& progress = {});

    // The message the user sees for a result other than Ok.
    static const char* Message(Result result);

private:
    // Whether the file after the header can be whole chunks: something, and a last one of at
    // least a tag.
    static bool EndsInAChunk(CFile& in, const Header& header);
};
