#include "model/CTextString.h"
#include "platform/desktop/CRegistryKey.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

const char kCommandKey[] = ".pelm\\shell\\open\\command";

class RegistryKey : public ::testing::Test
{
protected:
    RegistryKey() { m_env.Set("XDG_DATA_HOME", m_dir.Path().string()); }

    fs::path KeyFolder(const std::string& relative) const
    {
        return m_dir.Path() / "pelmora/registry" / relative;
    }
    std::string ValuesFile(const std::string& relative) const
    {
        return (KeyFolder(relative) / "%values").string();
    }

    TempDir m_dir;
    ScopedEnv m_env;
};

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::size_t EntryCount(const fs::path& folder)
{
    return static_cast<std::size_t>(std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
}

} // namespace

TEST_F(RegistryKey, CreateMakesTheKeysAboveAndOpenWithoutCreateNeedsTheKey)
{
    CRegistryKey key;
    EXPECT_FALSE(key.Open(HKEY_CLASSES_ROOT, ".pelm\\shell", CRegistryKey::REGKEY_READ));
    ASSERT_TRUE(
        key.Open(HKEY_CLASSES_ROOT, kCommandKey,
                 CRegistryKey::REGKEY_CREATE | CRegistryKey::REGKEY_WRITE | CRegistryKey::REGKEY_READ));
    EXPECT_TRUE(fs::is_directory(KeyFolder("HKEY_CLASSES_ROOT/.pelm/shell/open/command")));
    EXPECT_EQ(key.Close(), 0);
    // The whole path exists now: both ways of opening succeed.
    EXPECT_TRUE(
        key.Open(HKEY_CLASSES_ROOT, kCommandKey,
                 CRegistryKey::REGKEY_CREATE | CRegistryKey::REGKEY_WRITE | CRegistryKey::REGKEY_READ));
    key.Close();
    EXPECT_TRUE(key.Open(HKEY_CLASSES_ROOT, ".pelm\\shell", CRegistryKey::REGKEY_READ));
    key.Close();
    EXPECT_FALSE(key.Open(HKEY_CURRENT_USER, ".pelm", CRegistryKey::REGKEY_READ)) << "roots are separate";
    const std::string overlong(256, 'k');
    for (const char* bad : {"a\\\\b", "\\a", "a\\", overlong.c_str()})
        EXPECT_FALSE(
            key.Open(HKEY_CURRENT_USER, bad, CRegistryKey::REGKEY_CREATE | CRegistryKey::REGKEY_WRITE))
            << bad;
    EXPECT_FALSE(key.Open(static_cast<RegistryRoot>(7), "a", CRegistryKey::REGKEY_CREATE));
}

TEST_F(RegistryKey, SecondOpenIsRefusedAndTheFirstKeyStaysUsable)
{
    CRegistryKey key;
    EXPECT_EQ(key.Close(), 0) << "closing without a key is harmless";
    ASSERT_TRUE(
        key.Open(HKEY_CURRENT_USER, "First",
                 CRegistryKey::REGKEY_CREATE | CRegistryKey::REGKEY_WRITE | CRegistryKey::REGKEY_READ));
    EXPECT_FALSE(
        key.Open(HKEY_CURRENT_USER, "Second",
                 CRegistryKey::REGKEY_CREATE | CRegistryKey::REGKEY_WRITE | CRegistryKey::REGKEY_READ));
    EXPECT_FALSE(fs::exists(KeyFolder("HKEY_CURRENT_USER/Second")));
    EXPECT_TRUE(key.WriteDword("n", 7));
    std::uint32_t n = 0;
    EXPECT_TRUE(key.ReadDword("n", n));
    EXPECT_EQ(n, 7u);
    EXPECT_TRUE(fs::exists(ValuesFile("HKEY_CURRENT_USER/First")));
    EXPECT_EQ(key.Close(), 0);
    EXPECT_FALSE(key.WriteDword("n", 8)) << "no key after Close";
    EXPECT_TRUE(key.Open(HKEY_CURRENT_USER, "Second", CRegistryKey::REGKEY_CREATE));
}

TEST_F(RegistryKey, AssociationCommandCountsItsTerminator)
{
    const char* command = "\"C:\\Tools\\Notes\\app.exe\" \"%1\"";
    ASSERT_EQ(std::strlen(command), 29u);
    CRegistryKey key;
    ASSERT_TRUE(
        key.Open(HKEY_CLASSES_ROOT, kCommandKey,
                 CRegistryKey::REGKEY_CREATE | CRegistryKey::REGKEY_WRITE | CRegistryKey::REGKEY_READ));
    ASSERT_TRUE(key.WriteString(nullptr, command));

    char text[64] = {};
    EXPECT_FALSE(key.ReadString(nullptr, text, 29)) << "30 bytes are stored";
    ASSERT_TRUE(key.ReadString(nullptr, text, 30));
    EXPECT_STREQ(text, command);
    EXPECT_TRUE(key.ReadString("", text, sizeof text)) << "an empty name is the default value too";

    CTextString name;
    std::uint32_t type = 0;
    EXPECT_EQ(key.EnumValue(0, name, type, text, 29), 2);
    EXPECT_EQ(key.EnumValue(0, name, type, text, 30), 1);
    EXPECT_EQ(type, REG_SZ);
    EXPECT_STREQ(name.GetData(), "");
    EXPECT_EQ(key.EnumValue(1, name, type, text, 30), 0);
    EXPECT_FALSE(key.WriteString("x", nullptr));
}

TEST_F(RegistryKey, ReadsCheckTheTypeAndValuesOfAnyBytesRoundTrip)
{
    CRegistryKey key;
    ASSERT_TRUE(key.Open(HKEY_CURRENT_USER, "Software\\Orlathwick\\Pelmora", 7));
    std::string bytes;
    for (int i = 0; i < 256; ++i)
        bytes += static_cast<char>(i);
    ASSERT_TRUE(key.WriteBinary("blob", bytes.data(), 256));
    ASSERT_TRUE(key.WriteBinary("empty", nullptr, 0));
    ASSERT_TRUE(key.WriteDword("number", 0xDEADBEEFu));
    ASSERT_TRUE(key.WriteString("text", "t\xE9xt"));
    EXPECT_FALSE(key.WriteBinary("bad", nullptr, 3));

    std::string back(256, '?');
    EXPECT_FALSE(key.ReadBinary("blob", back.data(), 255));
    ASSERT_TRUE(key.ReadBinary("blob", back.data(), 256));
    EXPECT_EQ(back, bytes);
    EXPECT_TRUE(key.ReadBinary("empty", nullptr, 0));
    std::uint32_t number = 0;
    ASSERT_TRUE(key.ReadDword("number", number));
    EXPECT_EQ(number, 0xDEADBEEFu);

    char text[16];
    EXPECT_FALSE(key.ReadDword("text", number)) << "a string is no DWORD";
    EXPECT_FALSE(key.ReadString("number", text, sizeof text));
    EXPECT_FALSE(key.ReadBinary("text", text, sizeof text));
    EXPECT_FALSE(key.ReadString("blob", text, sizeof text));
    EXPECT_FALSE(key.ReadString("missing", text, sizeof text));

    // An overwrite changes the type in place; the order of enumeration stays. Several strings in
    // one write do the same, and a new one goes last.
    ASSERT_TRUE(key.WriteString("blob", "now text"));
    ASSERT_TRUE(key.WriteStrings({{"number", "one"}, {"fresh", "new"}}));
    CRegistryKey again;
    ASSERT_TRUE(again.Open(HKEY_CURRENT_USER, "Software\\Orlathwick\\Pelmora", CRegistryKey::REGKEY_READ));
    CTextString name;
    std::uint32_t type = 0;
    ASSERT_EQ(again.EnumValue(0, name, type, text, sizeof text), 1);
    EXPECT_STREQ(name.GetData(), "blob");
    EXPECT_EQ(type, REG_SZ);
    EXPECT_STREQ(text, "now text");
    ASSERT_EQ(again.EnumValue(2, name, type, text, sizeof text), 1);
    EXPECT_STREQ(name.GetData(), "number");
    EXPECT_EQ(type, REG_SZ);
    EXPECT_STREQ(text, "one");
    ASSERT_EQ(again.EnumValue(3, name, type, text, sizeof text), 1);
    EXPECT_STREQ(name.GetData(), "text");
    ASSERT_EQ(again.EnumValue(4, name, type, text, sizeof text), 1);
    EXPECT_STREQ(name.GetData(), "fresh");
    EXPECT_STREQ(text, "new");
    EXPECT_EQ(again.EnumValue(5, name, type, text, sizeof text), 0);
}

TEST_F(RegistryKey, EnumValueOffersTheStringsRoomAndFillsNothingOnFailure)
{
    CRegistryKey key;
    ASSERT_TRUE(key.Open(HKEY_CURRENT_USER, "Names", 7));
    const std::string longest(260, 'n');
    ASSERT_TRUE(key.WriteDword(longest.c_str(), 1));
    ASSERT_TRUE(key.WriteDword((longest + "x").c_str(), 2));
    ASSERT_TRUE(key.WriteDword("abcd", 3));

    std::uint32_t data = 0;
    std::uint32_t type = 0;
    CTextString empty;
    EXPECT_EQ(key.EnumValue(0, empty, type, &data, 4), 1) << "room for 260 characters when empty";
    EXPECT_EQ(empty.GetData(), longest);
    CTextString fresh;
    EXPECT_EQ(key.EnumValue(1, fresh, type, &data, 4), 0) << "261 characters do not fit";

    CTextString small;
    std::strcpy(small.Reserve(3), "old");
    type = 0u;
    data = 99;
    EXPECT_EQ(key.EnumValue(2, small, type, &data, 4), 0) << "only the present capacity is offered";
    EXPECT_EQ(key.EnumValue(2, small, type, &data, 3), 2) << "data too large wins over the name";
    EXPECT_STREQ(small.GetData(), "old");
    EXPECT_EQ(type, 0u);
    EXPECT_EQ(data, 99u);
    std::strcpy(small.Reserve(4), "old");
    EXPECT_EQ(key.EnumValue(2, small, type, &data, 4), 1);
    EXPECT_STREQ(small.GetData(), "abcd");
    EXPECT_EQ(data, 3u);
}

TEST_F(RegistryKey, EnumKeyListsSubkeysInOrderWhateverTheirNames)
{
    CRegistryKey key;
    for (const char* path :
         {"Top\\b/slash", "Top\\a%25", "Top\\..", "Top\\.", "Top\\%values", "Top\\c\\deep"})
        ASSERT_TRUE(key.Open(HKEY_LOCAL_MACHINE, path, CRegistryKey::REGKEY_CREATE) && key.Close() == 0)
            << path;
    ASSERT_TRUE(key.Open(HKEY_LOCAL_MACHINE, "Top", CRegistryKey::REGKEY_READ | CRegistryKey::REGKEY_WRITE));
    ASSERT_TRUE(key.WriteDword("value", 1)) << "a values file is no subkey";
    std::vector<std::string> names;
    CTextString name;
    for (std::uint32_t i = 0; key.EnumKey(i, name); ++i)
        names.push_back(name.GetData());
    EXPECT_EQ(names, (std::vector<std::string>{"%values", ".", "..", "a%25", "b/slash", "c"}));

    CTextString tiny;
    std::strcpy(tiny.Reserve(1), "x");
    EXPECT_FALSE(key.EnumKey(2, tiny)) << "'..' needs room for 2 characters";
    EXPECT_TRUE(key.EnumKey(1, tiny));
    EXPECT_STREQ(tiny.GetData(), ".");
    key.Close();
    ASSERT_TRUE(key.Open(HKEY_LOCAL_MACHINE, "Top\\b/slash", CRegistryKey::REGKEY_READ));
    EXPECT_FALSE(key.EnumKey(0, name));
}

TEST_F(RegistryKey, AccessFollowsTheFlags)
{
    CRegistryKey writer;
    ASSERT_TRUE(
        writer.Open(HKEY_CURRENT_USER, "K\\Sub", CRegistryKey::REGKEY_CREATE | CRegistryKey::REGKEY_WRITE));
    EXPECT_TRUE(writer.WriteDword("v", 5));
    std::uint32_t v = 0;
    CTextString name;
    std::uint32_t type = 0;
    EXPECT_FALSE(writer.ReadDword("v", v));
    EXPECT_EQ(writer.EnumValue(0, name, type, &v, 4), 0);
    writer.Close();

    CRegistryKey reader;
    ASSERT_TRUE(reader.Open(HKEY_CURRENT_USER, "K", CRegistryKey::REGKEY_READ));
    EXPECT_FALSE(reader.WriteDword("v", 6));
    EXPECT_TRUE(reader.EnumKey(0, name));
    EXPECT_STREQ(name.GetData(), "Sub");
    reader.Close();

    CRegistryKey none;
    ASSERT_TRUE(none.Open(HKEY_CURRENT_USER, "K\\Sub", 0)) << "no access rights, yet open";
    EXPECT_FALSE(none.ReadDword("v", v));
    EXPECT_FALSE(none.WriteDword("v", 6));
    EXPECT_FALSE(none.EnumKey(0, name));
}

TEST_F(RegistryKey, RootsOpenBeforeAnythingIsStoredAndTheStoreFollowsTheDataFolder)
{
    CRegistryKey root;
    ASSERT_TRUE(root.Open(HKEY_USERS, nullptr, CRegistryKey::REGKEY_READ | CRegistryKey::REGKEY_WRITE));
    CTextString name;
    EXPECT_FALSE(root.EnumKey(0, name));
    std::uint32_t v = 0;
    EXPECT_FALSE(root.ReadDword("v", v));
    EXPECT_TRUE(root.WriteDword("v", 9));
    EXPECT_TRUE(fs::exists(ValuesFile("HKEY_USERS")));
    root.Close();

    // Without XDG_DATA_HOME, or with a relative one, the store is below the home folder.
    TempDir home;
    m_env.Set("HOME", home.Path().string());
    m_env.Set("XDG_DATA_HOME", "relative/data");
    CRegistryKey key;
    ASSERT_TRUE(
        key.Open(HKEY_CURRENT_USER, "Here", CRegistryKey::REGKEY_CREATE | CRegistryKey::REGKEY_WRITE));
    EXPECT_TRUE(key.WriteDword("v", 1));
    EXPECT_TRUE(fs::exists(home.Path() / ".local/share/pelmora/registry/HKEY_CURRENT_USER/Here/%values"));
}

TEST_F(RegistryKey, WriteReplacesTheValuesFileWhole)
{
    CRegistryKey key;
    ASSERT_TRUE(key.Open(HKEY_CURRENT_USER, "Atomic", 7));
    const std::string big(100000, 'a');
    ASSERT_TRUE(key.WriteBinary("big", big.data(), static_cast<std::uint32_t>(big.size())));
    const std::string file = ValuesFile("HKEY_CURRENT_USER/Atomic");
    const std::string before = ReadAll(file);

    // A reader holding the old file still sees all of it after a rewrite.
    const int oldFd = ::open(file.c_str(), O_RDONLY);
    ASSERT_GE(oldFd, 0);
    ASSERT_TRUE(key.WriteDword("more", 1));
    std::string seen(before.size() + 1, '\0');
    EXPECT_EQ(::pread(oldFd, seen.data(), seen.size(), 0), static_cast<ssize_t>(before.size()));
    seen.resize(before.size());
    EXPECT_TRUE(seen == before);
    ::close(oldFd);
    EXPECT_EQ(EntryCount(KeyFolder("HKEY_CURRENT_USER/Atomic")), 1u) << "no temporary file left";

    // A write that cannot finish (the file size limit stops it) leaves the previous values whole.
    const std::string current = ReadAll(file);
    const std::string bigger(200000, 'b');
    rlimit old{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = old;
    limit.rlim_cur = 150000;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
    const bool written = key.WriteBinary("big", bigger.data(), static_cast<std::uint32_t>(bigger.size()));
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, previous);
    EXPECT_FALSE(written);
    EXPECT_TRUE(ReadAll(file) == current);
    EXPECT_EQ(EntryCount(KeyFolder("HKEY_CURRENT_USER/Atomic")), 1u);
    std::string back(big.size(), '\0');
    EXPECT_TRUE(key.ReadBinary("big", back.data(), static_cast<std::uint32_t>(back.size())));
    EXPECT_TRUE(back == big);
}

TEST_F(RegistryKey, DamagedOrVanishedKeysFailWithoutHarm)
{
    CRegistryKey key;
    ASSERT_TRUE(key.Open(HKEY_CURRENT_USER, "Damaged", 7));
    ASSERT_TRUE(key.WriteDword("v", 1));
    const std::string file = ValuesFile("HKEY_CURRENT_USER/Damaged");
    const std::string whole = ReadAll(file);
    std::ofstream(file, std::ios::binary | std::ios::trunc) << whole.substr(0, whole.size() - 1);
    std::uint32_t v = 0;
    EXPECT_FALSE(key.ReadDword("v", v));
    EXPECT_FALSE(key.WriteDword("w", 2)) << "a damaged file is not overwritten";
    EXPECT_EQ(ReadAll(file).size(), whole.size() - 1);

    // A text stored without its terminator (written by hand) still reads back terminated.
    std::string noTerminator = "PELMREG1";
    noTerminator += std::string("\x01\0\0\0\x01\0\0\0\x03\0\0\0", 12) + "sabc";
    std::ofstream(file, std::ios::binary | std::ios::trunc) << noTerminator;
    char text[4] = {'?', '?', '?', '?'};
    EXPECT_FALSE(key.ReadString("s", text, 3));
    ASSERT_TRUE(key.ReadString("s", text, 4));
    EXPECT_STREQ(text, "abc");

    fs::remove_all(KeyFolder("HKEY_CURRENT_USER/Damaged"));
    EXPECT_FALSE(key.WriteDword("v", 1));
    EXPECT_FALSE(key.ReadString("s", text, 4));
    EXPECT_FALSE(fs::exists(KeyFolder("HKEY_CURRENT_USER/Damaged")));
}
