#include "platform/desktop/ModuleVersion.h"

#include "model/CByteBuffer.h"
#include "model/CTextString.h"
#include "platform/CFile.h"
#include "platform/desktop/VersionRecord.h"

#include <cstdio>
#include <cstring>
#include <elf.h>
#include <unistd.h>

namespace {

struct Section
{
    std::uint64_t offset = 0;
    std::uint64_t size = 0;
};

template <typename T> bool ReadAt(CFile& file, std::uint64_t offset, T* out, std::size_t count = 1)
{
    if (::lseek(file.GetDescriptor(), static_cast<off_t>(offset), SEEK_SET) < 0)
        return false;
    return file.Read(out, sizeof(T) * count) == sizeof(T) * count;
}

// Finds a section by name in a little-endian ELF file of either class.
template <typename Ehdr, typename Shdr> bool FindSection(CFile& file, const char* name, Section& found)
{
    Ehdr header{};
    if (!ReadAt(file, 0, &header) || header.e_shentsize != sizeof(Shdr) ||
        header.e_shstrndx >= header.e_shnum)
        return false;
    Shdr names{};
    if (!ReadAt(file, header.e_shoff + std::uint64_t{header.e_shstrndx} * sizeof(Shdr), &names))
        return false;
    const std::size_t nameLength = std::strlen(name) + 1;
    for (unsigned i = 0; i < header.e_shnum; ++i) {
        Shdr section{};
        if (!ReadAt(file, header.e_shoff + std::uint64_t{i} * sizeof(Shdr), &section))
            return false;
        if (section.sh_name >= names.sh_size || names.sh_size - section.sh_name < nameLength)
            continue;
        char candidate[64] = {};
        if (nameLength > sizeof candidate ||
            !ReadAt(file, names.sh_offset + section.sh_name, candidate, nameLength))
            continue;
        if (std::memcmp(candidate, name, nameLength) == 0 && section.sh_type != SHT_NOBITS) {
            found.offset = section.sh_offset;
            found.size = section.sh_size;
            return true;
        }
    }
    return false;
}

// Stand-in for GetFileVersionInfoSize: the size of the version section, or 0.
std::uint32_t VersionInfoSize(CFile& file, Section& section)
{
    unsigned char ident[EI_NIDENT] = {};
    if (!ReadAt(file, 0, ident, EI_NIDENT) || std::memcmp(ident, ELFMAG, SELFMAG) != 0 ||
        ident[EI_DATA] != ELFDATA2LSB)
        return 0;
    const bool found = ident[EI_CLASS] == ELFCLASS64
                           ? FindSection<Elf64_Ehdr, Elf64_Shdr>(file, kVersionSectionName, section)
                       : ident[EI_CLASS] == ELFCLASS32
                           ? FindSection<Elf32_Ehdr, Elf32_Shdr>(file, kVersionSectionName, section)
                           : false;
    if (!found || section.size == 0 || section.size > 0x10000)
        return 0;
    return static_cast<std::uint32_t>(section.size);
}

bool ReadVersion(const std::string& programPath, CTextString& out)
{
    CFile file;
    if (!file.Open(programPath, CFile::modeRead | CFile::shareDenyNone))
        return false;
    try {
        Section section;
        const std::uint32_t size = VersionInfoSize(file, section);
        if (size == 0)
            return false;
        CByteBuffer info;
        if (!info.Allocate(size) || !ReadAt(file, section.offset, info.GetData(), size))
            return false;
        VersionRecord record{};
        if (!info.Get(&record, sizeof record) || record.signature != kVersionSignature)
            return false;
        out.Free();
        out.Detach();
        char* text = out.Reserve(255);
        if (text == nullptr)
            return false;
        std::snprintf(text, 256, "%u.%u.%u.%u", record.fileVersionMS >> 16, record.fileVersionMS & 0xFFFFu,
                      record.fileVersionLS >> 16, record.fileVersionLS & 0xFFFFu);
        return true;
    } catch (const CFileException&) {
        return false;
    }
}

} // namespace

bool GetFileVersionString(const std::string& programPath, CTextString& out)
{
    if (programPath.empty())
        return false;
    return ReadVersion(programPath, out);
}

bool GetModuleVersionString(CTextString& out)
{
    // The link opens the running image even when its file was replaced since.
    return GetFileVersionString("/proc/self/exe", out);
}
