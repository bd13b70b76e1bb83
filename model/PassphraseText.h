#pragma once

#include "platform/CSecureBytes.h"

#include <cstddef>

// A passphrase is Unicode text: the key is made from its NFC form, so that the same passphrase
// typed on a system that sends decomposed letters (e and a combining accent for é) opens the file.
// Bytes that are not UTF-8 are kept as they are. No copy of it is left outside locked memory.
CSecureBytes NormalizedPassphrase(const CSecureBytes& typed);

// Its length in characters, as the user counts them ("日本語の" is 4): code points of the NFC form.
std::size_t PassphraseCharacters(const CSecureBytes& passphrase);
