#pragma once

#include "model/CTextCodec.h"

#include <cstdint>
#include <optional>

// A code page or none, in the one byte std::optional spends its flag on alone. A note keeps four,
// and a million notes are made at once when a notebook opens: each byte a note saves is a
// megabyte of fresh memory fewer to make.
class PackedCodePage
{
public:
    constexpr PackedCodePage() = default;
    constexpr PackedCodePage(std::nullopt_t) {}
    constexpr PackedCodePage(TextEncoding codePage) : m_byte(static_cast<std::uint8_t>(codePage)) {}
    constexpr PackedCodePage(std::optional<TextEncoding> codePage)
        : m_byte(codePage ? static_cast<std::uint8_t>(*codePage) : kNone)
    {
    }

    constexpr operator std::optional<TextEncoding>() const
    {
        return *this ? std::optional<TextEncoding>(**this) : std::nullopt;
    }
    constexpr explicit operator bool() const { return m_byte != kNone; }
    constexpr TextEncoding operator*() const { return static_cast<TextEncoding>(m_byte); }
    void reset() { m_byte = kNone; }

    friend constexpr bool operator==(PackedCodePage a, TextEncoding b) { return a && *a == b; }
    friend constexpr bool operator!=(PackedCodePage a, TextEncoding b) { return !(a == b); }

private:
    static constexpr std::uint8_t kNone = 0xff;
    std::uint8_t m_byte = kNone;
};
