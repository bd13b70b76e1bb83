#pragma once

#include "platform/LogFont.h"
#include "platform/WindowPlacement.h"

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

// Builds notebook files byte by byte, apart from the program's own writer, so that the writer and
// the reader can be checked against the layout itself.
class NoteBookBytes
{
public:
    static constexpr const char* kKey = "RkpfNqTe731$&!6";

    struct Header
    {
        std::uint32_t version = 10;
        std::uint32_t count = 0;
        std::uint32_t passwordLength = 0;
        std::uint32_t viewFlags = 0;
        WindowPlacement placement{};
        std::int32_t paneFirst = 0;
        std::int32_t paneSecond = 0;
        LogFont font = DefaultFont();
    };

    static LogFont DefaultFont()
    {
        LogFont font;
        FillLogFont(font, "Verdana", 16);
        return font;
    }

    // The notebook cipher, written out from its definition.
    static std::string Encipher(std::string block)
    {
        const std::size_t n = std::strlen(kKey);
        for (std::size_t j = 0; j < block.size(); ++j) {
            const std::size_t k = j % n;
            const auto m = static_cast<unsigned>((k + 1) * static_cast<unsigned char>(kKey[k]));
            block[j] = static_cast<char>(static_cast<unsigned char>(block[j]) + m - 3);
        }
        return block;
    }

    NoteBookBytes& U32(std::uint32_t v)
    {
        for (int i = 0; i < 4; ++i)
            bytes += static_cast<char>((v >> (8 * i)) & 0xFF);
        return *this;
    }
    NoteBookBytes& Raw(const void* data, std::size_t size)
    {
        bytes.append(static_cast<const char*>(data), size);
        return *this;
    }
    NoteBookBytes& Raw(const std::string& data) { return Raw(data.data(), data.size()); }

    // The header in the layout of its version: view flags from 6, placement from 7, panes from 8.
    NoteBookBytes& Head(const Header& h)
    {
        U32(h.version).U32(h.count).U32(h.passwordLength);
        if (h.version >= 6)
            U32(h.viewFlags);
        if (h.version >= 7)
            Raw(&h.placement, sizeof h.placement);
        if (h.version >= 8)
            U32(static_cast<std::uint32_t>(h.paneFirst)).U32(static_cast<std::uint32_t>(h.paneSecond));
        return Raw(&h.font, sizeof h.font);
    }

    NoteBookBytes& Password(const std::string& password)
    {
        return Raw(Encipher(password + std::string(1, '\0')));
    }

    // A body as the writer makes it: T, title and zero, X, text and zero.
    static std::string Body(const std::string& title, const std::string& text)
    {
        NoteBookBytes b;
        b.U32(static_cast<std::uint32_t>(title.size() + 1)).Raw(title.c_str(), title.size() + 1);
        b.U32(static_cast<std::uint32_t>(text.size() + 1)).Raw(text.c_str(), text.size() + 1);
        return b.bytes;
    }

    NoteBookBytes& Record(std::int32_t serial, const std::string& plainBody)
    {
        U32(static_cast<std::uint32_t>(serial)).U32(static_cast<std::uint32_t>(plainBody.size()));
        return Raw(Encipher(plainBody));
    }
    NoteBookBytes& Note(std::int32_t serial, const std::string& title, const std::string& text)
    {
        return Record(serial, Body(title, text));
    }

    void Save(const std::string& path) const { std::ofstream(path, std::ios::binary) << bytes; }

    static std::string Load(const std::string& path)
    {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    std::string bytes;
};
