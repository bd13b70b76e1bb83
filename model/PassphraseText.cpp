#include "model/PassphraseText.h"

#include <sodium.h>
#include <unicode/unorm2.h>
#include <unicode/ustring.h>

#include <cstring>

namespace {

// UTF-16 in locked memory, for ICU to work in.
class SecureUnits
{
public:
    explicit SecureUnits(std::size_t count) : m_bytes(count * sizeof(UChar)) {}
    UChar* Data() { return reinterpret_cast<UChar*>(m_bytes.Data()); }
    int32_t Capacity() const { return static_cast<int32_t>(m_bytes.Size() / sizeof(UChar)); }

private:
    CSecureBytes m_bytes;
};

} // namespace

CSecureBytes NormalizedPassphrase(const CSecureBytes& typed)
{
    UErrorCode error = U_ZERO_ERROR;
    const UNormalizer2* nfc = unorm2_getNFCInstance(&error);
    // A UTF-8 byte gives at most one UTF-16 unit; composing never lengthens.
    SecureUnits units(typed.Size() + 1);
    int32_t length = 0;
    u_strFromUTF8(units.Data(), units.Capacity(), &length, reinterpret_cast<const char*>(typed.Data()),
                  static_cast<int32_t>(typed.Size()), &error);
    if (U_FAILURE(error) || !nfc)
        return CSecureBytes(typed.View());
    SecureUnits composed(static_cast<std::size_t>(length) + 1);
    const int32_t composedLength =
        unorm2_normalize(nfc, units.Data(), length, composed.Data(), composed.Capacity(), &error);
    CSecureBytes utf8(static_cast<std::size_t>(composedLength) * 3 + 1);
    int32_t utf8Length = 0;
    u_strToUTF8(reinterpret_cast<char*>(utf8.Data()), static_cast<int32_t>(utf8.Size()), &utf8Length,
                composed.Data(), composedLength, &error);
    if (U_FAILURE(error))
        return CSecureBytes(typed.View());
    return CSecureBytes(utf8.View().substr(0, static_cast<std::size_t>(utf8Length)));
}

std::size_t PassphraseCharacters(const CSecureBytes& passphrase)
{
    const CSecureBytes normalized = NormalizedPassphrase(passphrase);
    std::size_t count = 0;
    for (const char byte : normalized.View())
        count += (static_cast<unsigned char>(byte) & 0xC0) != 0x80;
    return count;
}
