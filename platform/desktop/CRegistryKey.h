#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

class CTextString;
struct RegistryHandle;
struct RegistryValue;

// The roots of the key hierarchy, numbered as Windows numbers its predefined keys.
enum RegistryRoot : std::uint32_t
{
    HKEY_CLASSES_ROOT = 0x80000000u,
    HKEY_CURRENT_USER = 0x80000001u,
    HKEY_LOCAL_MACHINE = 0x80000002u,
    HKEY_USERS = 0x80000003u,
    HKEY_CURRENT_CONFIG = 0x80000005u,
};

// Value types, with the numbers Windows gives them.
enum RegistryValueType : std::uint32_t
{
    REG_SZ = 1,
    REG_BINARY = 3,
    REG_DWORD = 4,
};

constexpr long ERROR_SUCCESS = 0;

// One open key of the registry. This system has none, so each key is a folder under
// $XDG_DATA_HOME/pelmora/registry/<root> (default ~/.local/share), and a key's values live in one
// file that every write replaces as a whole: a crash leaves the old values or the new ones.
// Key paths are separated by backslashes.
class CRegistryKey
{
public:
    enum OpenFlags : unsigned
    {
        REGKEY_CREATE = 1, // create the key and any missing keys above it
        REGKEY_WRITE = 2,
        REGKEY_READ = 4,
    };

    CRegistryKey();
    ~CRegistryKey();
    CRegistryKey(const CRegistryKey&) = delete;
    CRegistryKey& operator=(const CRegistryKey&) = delete;

    // Refused while a key is open; that key stays open. A null or empty path opens the root.
    bool Open(RegistryRoot root, const char* subKey, unsigned flags);
    // ERROR_SUCCESS (0), also when no key was open.
    long Close();
    bool IsOpen() const { return m_hKey != nullptr; }

    // A null name is the key's default value. Strings are stored with their terminator.
    bool WriteString(const char* name, const char* text);
    bool WriteBinary(const char* name, const void* data, std::uint32_t count);
    bool WriteDword(const char* name, std::uint32_t value);
    // Strings (name, text) in one write of the key: a reader finds all of them or none, and a list
    // kept in several values goes to the disk once.
    bool WriteStrings(const std::vector<std::pair<std::string, std::string>>& strings);

    // True only when the value exists, has the type asked for and fits the buffer.
    bool ReadString(const char* name, char* buffer, std::uint32_t size);
    bool ReadBinary(const char* name, void* buffer, std::uint32_t size);
    bool ReadDword(const char* name, std::uint32_t& value);

    // 1 when the value at index was returned, 2 when its data is larger than size, 0 past the last
    // value or on any other failure. An empty name string is first given room for 260 characters.
    int EnumValue(std::uint32_t index, CTextString& name, std::uint32_t& type, void* data,
                  std::uint32_t size);
    bool EnumKey(std::uint32_t index, CTextString& name);

private:
    bool SetValues(std::vector<RegistryValue> changes);
    bool SetValue(const char* name, std::uint32_t type, std::string data);
    bool ReadValue(const char* name, std::uint32_t type, std::string& data) const;

    std::unique_ptr<RegistryHandle> m_hKey;
};
