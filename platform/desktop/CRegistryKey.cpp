#include "platform/desktop/CRegistryKey.h"

#include "model/CTextString.h"
#include "platform/AtomicFile.h"
#include "platform/XdgPaths.h"

#include <algorithm>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

// One value of a key: its name, its type and its bytes as stored.
struct RegistryValue
{
    std::string name;
    std::uint32_t type;
    std::string data;
};

namespace {

// The rights an open key carries, with the Windows masks for KEY_READ and KEY_WRITE.
constexpr std::uint32_t KEY_QUERY_VALUE = 0x0001;
constexpr std::uint32_t KEY_SET_VALUE = 0x0002;
constexpr std::uint32_t KEY_ENUMERATE_SUB_KEYS = 0x0008;
constexpr std::uint32_t KEY_READ = 0x20019;
constexpr std::uint32_t KEY_WRITE = 0x20006;

constexpr int kMaxKeyNameLength = 255;
constexpr int kNameRoomWhenEmpty = 260;
const char kValuesFile[] = "/%values";
const char kMagic[] = "PELMREG1";
constexpr std::size_t kMagicLength = sizeof kMagic - 1;

const char* RootFolderName(RegistryRoot root)
{
    switch (root) {
    case HKEY_CLASSES_ROOT:
        return "HKEY_CLASSES_ROOT";
    case HKEY_CURRENT_USER:
        return "HKEY_CURRENT_USER";
    case HKEY_LOCAL_MACHINE:
        return "HKEY_LOCAL_MACHINE";
    case HKEY_USERS:
        return "HKEY_USERS";
    case HKEY_CURRENT_CONFIG:
        return "HKEY_CURRENT_CONFIG";
    }
    return nullptr;
}

// Key names may hold any character but the backslash; the few a folder name cannot carry, and the
// escape itself, are written as %XX. No encoded name can equal the values file's name.
std::string EncodeKeyName(const std::string& name)
{
    if (name == "." || name == "..")
        return name == "." ? "%2E" : "%2E%2E";
    std::string encoded;
    for (const char c : name) {
        if (c == '%')
            encoded += "%25";
        else if (c == '/')
            encoded += "%2F";
        else
            encoded += c;
    }
    return encoded;
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

std::string DecodeKeyName(const std::string& encoded)
{
    std::string name;
    for (std::size_t i = 0; i < encoded.size(); ++i) {
        const int high = encoded[i] == '%' && i + 2 < encoded.size() ? HexDigit(encoded[i + 1]) : -1;
        const int low = high >= 0 ? HexDigit(encoded[i + 2]) : -1;
        if (low < 0) {
            name += encoded[i];
            continue;
        }
        name += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return name;
}

// Appends the folders of a backslash-separated path; false for an empty or overlong name.
bool AppendKeyPath(std::string& folder, const char* subKey)
{
    if (subKey == nullptr || subKey[0] == '\0')
        return true;
    const std::string path = subKey;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = std::min(path.find('\\', start), path.size());
        const std::string name = path.substr(start, end - start);
        if (name.empty() || name.size() > kMaxKeyNameLength)
            return false;
        folder += '/' + EncodeKeyName(name);
        if (end == path.size())
            return true;
        start = end + 1;
    }
}

bool IsFolder(const std::string& path)
{
    struct stat st
    {
    };
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

void PutUint32(std::string& out, std::uint32_t v)
{
    for (int shift = 0; shift < 32; shift += 8)
        out += static_cast<char>((v >> shift) & 0xFF);
}

bool GetUint32(const std::string& in, std::size_t& at, std::uint32_t& v)
{
    if (in.size() - at < 4)
        return false;
    v = 0;
    for (int i = 0; i < 4; ++i)
        v |= static_cast<std::uint32_t>(static_cast<unsigned char>(in[at + i])) << (8 * i);
    at += 4;
    return true;
}

// The values file: the magic, then per value its type, name length and data length (32-bit
// little-endian), the name's bytes and the data's bytes, in the order of enumeration.
std::string FormatValues(const std::vector<RegistryValue>& values)
{
    std::string out(kMagic, kMagicLength);
    for (const RegistryValue& value : values) {
        PutUint32(out, value.type);
        PutUint32(out, static_cast<std::uint32_t>(value.name.size()));
        PutUint32(out, static_cast<std::uint32_t>(value.data.size()));
        out += value.name;
        out += value.data;
    }
    return out;
}

bool ParseValues(const std::string& in, std::vector<RegistryValue>& values)
{
    if (in.compare(0, kMagicLength, kMagic) != 0)
        return false;
    std::size_t at = kMagicLength;
    while (at < in.size()) {
        RegistryValue value;
        std::uint32_t nameLength = 0;
        std::uint32_t dataLength = 0;
        if (!GetUint32(in, at, value.type) || !GetUint32(in, at, nameLength) ||
            !GetUint32(in, at, dataLength))
            return false;
        if (in.size() - at < static_cast<std::size_t>(nameLength) + dataLength)
            return false;
        value.name = in.substr(at, nameLength);
        value.data = in.substr(at + nameLength, dataLength);
        at += static_cast<std::size_t>(nameLength) + dataLength;
        values.push_back(std::move(value));
    }
    return true;
}

RegistryValue* FindValue(std::vector<RegistryValue>& values, const char* name)
{
    const std::string wanted = name ? name : "";
    for (RegistryValue& value : values)
        if (value.name == wanted)
            return &value;
    return nullptr;
}

// Offers the string's room as the Windows call would: 260 characters when it holds nothing, its
// present capacity otherwise. Null when the name does not fit.
char* NameRoom(CTextString& out, const std::string& name)
{
    char* room = out.GetData() ? out.Reserve(out.GetCapacity() - 1) : out.Reserve(kNameRoomWhenEmpty);
    if (room == nullptr || name.size() + 1 > static_cast<std::size_t>(out.GetCapacity()))
        return nullptr;
    return room;
}

void CopyName(char* room, const std::string& name)
{
    std::memcpy(room, name.data(), name.size());
    room[name.size()] = '\0';
}

// Holds the key folder's lock for one read-modify-write, so that writers in other processes do not
// lose each other's values.
class FolderLock
{
public:
    explicit FolderLock(const std::string& folder)
        : m_fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC))
    {
        if (m_fd >= 0 && ::flock(m_fd, LOCK_EX) != 0) {
            ::close(m_fd);
            m_fd = -1;
        }
    }
    ~FolderLock()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

    bool Held() const { return m_fd >= 0; }

private:
    int m_fd;
};

} // namespace

struct RegistryHandle
{
    std::string folder;
    std::uint32_t access;
    bool isRoot;

    bool Allows(std::uint32_t right) const { return (access & right) == right; }

    // A root exists before anything was written under it; any other key must still have its folder.
    bool LoadValues(std::vector<RegistryValue>& values) const
    {
        std::string bytes;
        if (ReadWholeFile(folder + kValuesFile, bytes))
            return ParseValues(bytes, values);
        return isRoot || IsFolder(folder);
    }

    bool SubkeyNames(std::vector<std::string>& names) const
    {
        DIR* dir = ::opendir(folder.c_str());
        if (dir == nullptr)
            return isRoot;
        while (const dirent* entry = ::readdir(dir)) {
            const std::string entryName = entry->d_name;
            if (entryName != "." && entryName != ".." && IsFolder(folder + '/' + entryName))
                names.push_back(DecodeKeyName(entryName));
        }
        ::closedir(dir);
        std::sort(names.begin(), names.end());
        return true;
    }
};

CRegistryKey::CRegistryKey() = default;

CRegistryKey::~CRegistryKey()
{
    Close();
}

bool CRegistryKey::Open(RegistryRoot root, const char* subKey, unsigned flags)
{
    if (m_hKey)
        return false;
    const char* rootName = RootFolderName(root);
    const std::string base = XdgDataHome();
    if (rootName == nullptr || base.empty())
        return false;
    std::string folder = base + "/pelmora/registry/" + rootName;
    const bool isRoot = subKey == nullptr || subKey[0] == '\0';
    if (!AppendKeyPath(folder, subKey))
        return false;
    if (flags & REGKEY_CREATE) {
        if (!MakeFolders(folder))
            return false;
    } else if (!isRoot && !IsFolder(folder)) {
        return false;
    }
    std::uint32_t access = 0;
    if (flags & REGKEY_READ)
        access |= KEY_READ;
    if (flags & REGKEY_WRITE)
        access |= KEY_WRITE;
    m_hKey = std::make_unique<RegistryHandle>(RegistryHandle{folder, access, isRoot});
    return true;
}

long CRegistryKey::Close()
{
    m_hKey.reset();
    return ERROR_SUCCESS;
}

bool CRegistryKey::SetValues(std::vector<RegistryValue> changes)
{
    if (!m_hKey || !m_hKey->Allows(KEY_SET_VALUE))
        return false;
    if (m_hKey->isRoot && !MakeFolders(m_hKey->folder))
        return false;
    const FolderLock lock(m_hKey->folder);
    std::vector<RegistryValue> values;
    if (!lock.Held() || !m_hKey->LoadValues(values))
        return false;
    for (RegistryValue& change : changes) {
        if (RegistryValue* existing = FindValue(values, change.name.c_str())) {
            existing->type = change.type;
            existing->data = std::move(change.data);
        } else {
            values.push_back(std::move(change));
        }
    }
    return WriteFileAtomically(m_hKey->folder + kValuesFile, FormatValues(values));
}

bool CRegistryKey::SetValue(const char* name, std::uint32_t type, std::string data)
{
    std::vector<RegistryValue> change;
    change.push_back({name ? name : "", type, std::move(data)});
    return SetValues(std::move(change));
}

bool CRegistryKey::WriteString(const char* name, const char* text)
{
    if (text == nullptr)
        return false;
    return SetValue(name, REG_SZ, std::string(text, std::strlen(text) + 1));
}

bool CRegistryKey::WriteStrings(const std::vector<std::pair<std::string, std::string>>& strings)
{
    std::vector<RegistryValue> changes;
    changes.reserve(strings.size());
    for (const auto& [name, text] : strings)
        changes.push_back({name, REG_SZ, std::string(text.c_str(), std::strlen(text.c_str()) + 1)});
    return SetValues(std::move(changes));
}

bool CRegistryKey::WriteBinary(const char* name, const void* data, std::uint32_t count)
{
    if (data == nullptr && count > 0)
        return false;
    return SetValue(name, REG_BINARY,
                    count ? std::string(static_cast<const char*>(data), count) : std::string());
}

bool CRegistryKey::WriteDword(const char* name, std::uint32_t value)
{
    std::string data;
    PutUint32(data, value);
    return SetValue(name, REG_DWORD, std::move(data));
}

bool CRegistryKey::ReadValue(const char* name, std::uint32_t type, std::string& data) const
{
    std::vector<RegistryValue> values;
    if (!m_hKey || !m_hKey->Allows(KEY_QUERY_VALUE) || !m_hKey->LoadValues(values))
        return false;
    const RegistryValue* value = FindValue(values, name);
    if (value == nullptr || value->type != type)
        return false;
    data = value->data;
    return true;
}

bool CRegistryKey::ReadString(const char* name, char* buffer, std::uint32_t size)
{
    std::string data;
    if (!ReadValue(name, REG_SZ, data) || (buffer == nullptr && size > 0))
        return false;
    // A stored text without its terminator still comes back terminated, or not at all.
    if (data.empty() || data.back() != '\0')
        data += '\0';
    if (data.size() > size)
        return false;
    std::memcpy(buffer, data.data(), data.size());
    return true;
}

bool CRegistryKey::ReadBinary(const char* name, void* buffer, std::uint32_t size)
{
    std::string data;
    if (!ReadValue(name, REG_BINARY, data) || data.size() > size || (buffer == nullptr && size > 0))
        return false;
    if (!data.empty())
        std::memcpy(buffer, data.data(), data.size());
    return true;
}

bool CRegistryKey::ReadDword(const char* name, std::uint32_t& value)
{
    std::string data;
    if (!ReadValue(name, REG_DWORD, data) || data.size() != 4)
        return false;
    std::size_t at = 0;
    return GetUint32(data, at, value);
}

int CRegistryKey::EnumValue(std::uint32_t index, CTextString& name, std::uint32_t& type, void* data,
                            std::uint32_t size)
{
    std::vector<RegistryValue> values;
    if (!m_hKey || !m_hKey->Allows(KEY_QUERY_VALUE) || !m_hKey->LoadValues(values) || index >= values.size())
        return 0;
    const RegistryValue& value = values[index];
    if (value.data.size() > size)
        return 2;
    char* room = NameRoom(name, value.name);
    if (room == nullptr || (data == nullptr && size > 0))
        return 0;
    CopyName(room, value.name);
    type = value.type;
    if (!value.data.empty())
        std::memcpy(data, value.data.data(), value.data.size());
    return 1;
}

bool CRegistryKey::EnumKey(std::uint32_t index, CTextString& name)
{
    std::vector<std::string> names;
    if (!m_hKey || !m_hKey->Allows(KEY_ENUMERATE_SUB_KEYS) || !m_hKey->SubkeyNames(names) ||
        index >= names.size())
        return false;
    char* room = NameRoom(name, names[index]);
    if (room == nullptr)
        return false;
    CopyName(room, names[index]);
    return true;
}
