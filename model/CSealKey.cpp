#include "model/CSealKey.h"

#include "platform/Sodium.h"

CSealKey::Params CSealKey::Params::Default()
{
    return {crypto_pwhash_OPSLIMIT_MODERATE, crypto_pwhash_MEMLIMIT_MODERATE};
}

bool CSealKey::Params::IsReasonable() const
{
    return opsLimit >= crypto_pwhash_OPSLIMIT_MIN && opsLimit <= 8 &&
           memLimit >= crypto_pwhash_MEMLIMIT_MIN && memLimit <= (std::uint64_t{1} << 30);
}

CSealKey::CSealKey(CSecureBytes key, const Salt& salt, const Params& params)
    : m_key(std::move(key)), m_salt(salt), m_params(params)
{
}

std::shared_ptr<const CSealKey> CSealKey::Derive(const CSecureBytes& passphrase, const Params& params,
                                                 const Salt* salt)
{
    InitSodium();
    Salt used{};
    if (salt)
        used = *salt;
    else
        randombytes_buf(used.data(), used.size());
    CSecureBytes key(kKeySize);
    if (crypto_pwhash(key.Data(), kKeySize, reinterpret_cast<const char*>(passphrase.Data()),
                      passphrase.Size(), used.data(), params.opsLimit,
                      static_cast<std::size_t>(params.memLimit), crypto_pwhash_ALG_ARGON2ID13) != 0)
        return nullptr;
    return std::shared_ptr<const CSealKey>(new CSealKey(std::move(key), used, params));
}
