#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/stat.h>

// A fresh folder for one test, removed with everything in it.
class TempDir
{
public:
    explicit TempDir(const std::filesystem::path& parent = std::filesystem::temp_directory_path())
    {
        std::string pattern = (parent / "pelmora-test-XXXXXX").string();
        m_path = ::mkdtemp(pattern.data());
    }
    ~TempDir()
    {
        std::error_code ignored;
        std::filesystem::permissions(m_path, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ignored);
        std::filesystem::remove_all(m_path, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    std::string File(const std::string& name) const { return (m_path / name).string(); }
    const std::filesystem::path& Path() const { return m_path; }
    // Where no second file system is at hand, a folder made on another path may share this one's.
    bool SharesFileSystemWith(const TempDir& other) const
    {
        struct stat mine
        {
        };
        struct stat theirs
        {
        };
        return ::stat(m_path.c_str(), &mine) != 0 || ::stat(other.m_path.c_str(), &theirs) != 0 ||
               mine.st_dev == theirs.st_dev;
    }

private:
    std::filesystem::path m_path;
};
