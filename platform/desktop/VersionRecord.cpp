// Linked into every program file so that it can tell its own version.
#include "platform/desktop/VersionRecord.h"

#ifndef PELMORA_VERSION_MAJOR
#error "the build passes the version parts"
#endif

namespace {

constexpr std::uint32_t Half(unsigned high, unsigned low)
{
    return (static_cast<std::uint32_t>(high) << 16) | (low & 0xFFFFu);
}

} // namespace

extern "C" __attribute__((used, section(".pelmora_version"), aligned(4)))
const VersionRecord pelmora_version_record = {
    kVersionSignature,
    0x00010000u,
    Half(PELMORA_VERSION_MAJOR, PELMORA_VERSION_MINOR),
    Half(PELMORA_VERSION_PATCH, PELMORA_VERSION_TWEAK),
    Half(PELMORA_VERSION_MAJOR, PELMORA_VERSION_MINOR),
    Half(PELMORA_VERSION_PATCH, PELMORA_VERSION_TWEAK),
    0x3Fu,
    0,
    0,
    1, // an application
    0,
    0,
    0,
};
