#pragma once

#include <cstdint>

// The fixed version record every Pelmora program file carries in its own ELF section, laid out
// as the Windows fixed file information.
struct VersionRecord
{
    std::uint32_t signature;
    std::uint32_t strucVersion;
    std::uint32_t fileVersionMS;
    std::uint32_t fileVersionLS;
    std::uint32_t productVersionMS;
    std::uint32_t productVersionLS;
    std::uint32_t fileFlagsMask;
    std::uint32_t fileFlags;
    std::uint32_t fileOS;
    std::uint32_t fileType;
    std::uint32_t fileSubtype;
    std::uint32_t fileDateMS;
    std::uint32_t fileDateLS;
};
static_assert(sizeof(VersionRecord) == 52, "the fixed version record is 52 bytes");

constexpr std::uint32_t kVersionSignature = 0xFEEF04BDu;
inline constexpr const char* kVersionSectionName = ".pelmora_version";
