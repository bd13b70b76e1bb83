#pragma once

#include "platform/CSecureBytes.h"

#include <array>
#include <cstdint>
#include <memory>

// The key an encrypted notebook is sealed with, derived from the passphrase with Argon2id, and the
// salt and cost it was derived with, which the file stores. The key lives in locked memory.
class CSealKey
{
public:
    static constexpr std::size_t kSaltSize = 16;
    static constexpr std::size_t kKeySize = 32;

    struct Params
    {
        std::uint64_t opsLimit;
        std::uint64_t memLimit;
        // What Pelmora writes: 256 MiB and three passes, about half a second here.
        static Params Default();
        // Within what a file may ask of us: at most 1 GiB and 8 passes, at least libsodium's least.
        bool IsReasonable() const;
    };
    using Salt = std::array<unsigned char, kSaltSize>;

    // Derives the key; a fresh random salt when none is given. Null when the memory the cost asks
    // for cannot be had.
    static std::shared_ptr<const CSealKey> Derive(const CSecureBytes& passphrase, const Params& params,
                                                  const Salt* salt = nullptr);

    const unsigned char* GetKey() const { return m_key.Data(); }
    const Salt& GetSalt() const { return m_salt; }
    const Params& GetParams() const { return m_params; }

private:
    CSealKey(CSecureBytes key, const Salt& salt, const Params& params);

    CSecureBytes m_key;
    Salt m_salt;
    Params m_params;
};
