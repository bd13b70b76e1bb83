#include "model/CNoteBookSecret.h"

#include "model/PassphraseText.h"

std::shared_ptr<const CNoteBookSecret> CNoteBookSecret::Create(CSecureBytes passphrase,
                                                               const CSealKey::Params& params)
{
    CSecureBytes normalized = NormalizedPassphrase(passphrase);
    std::shared_ptr<const CSealKey> key = CSealKey::Derive(normalized, params);
    if (!key)
        return nullptr;
    return std::make_shared<const CNoteBookSecret>(std::move(normalized), std::move(key));
}

CNoteBookSecret::CNoteBookSecret(CSecureBytes passphrase, std::shared_ptr<const CSealKey> key)
    : m_passphrase(std::move(passphrase)), m_key(std::move(key))
{
}

// Pelmora's own cost, whatever the file had: an old file gains the current strength at its next save.
std::shared_ptr<const CNoteBookSecret> CNoteBookSecret::Renewed() const
{
    return Create(CSecureBytes(m_passphrase.View()));
}
