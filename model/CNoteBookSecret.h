#pragma once

#include "model/CSealKey.h"
#include "platform/CSecureBytes.h"

#include <memory>

// What an encrypted notebook needs while it is open: its passphrase and the key its file was last
// sealed with, both in locked memory and wiped when the notebook goes. Shared and never changed,
// so that a worker thread may seal a recovery copy with it while the window goes on.
class CNoteBookSecret
{
public:
    // The fewest characters a new passphrase may have, counted by PassphraseCharacters.
    static constexpr int kShortestPassphrase = 8;

    // The passphrase, NFC-normalized, with a key derived afresh; null when the key's memory cannot
    // be had.
    static std::shared_ptr<const CNoteBookSecret>
    Create(CSecureBytes passphrase, const CSealKey::Params& params = CSealKey::Params::Default());
    // The passphrase and the key a file was opened with.
    CNoteBookSecret(CSecureBytes passphrase, std::shared_ptr<const CSealKey> key);

    // The same passphrase with a fresh salt and so a fresh key, for the next save; null as Create.
    std::shared_ptr<const CNoteBookSecret> Renewed() const;

    const CSecureBytes& GetPassphrase() const { return m_passphrase; }
    const CSealKey& GetKey() const { return *m_key; }

private:
    CSecureBytes m_passphrase;
    std::shared_ptr<const CSealKey> m_key;
};
