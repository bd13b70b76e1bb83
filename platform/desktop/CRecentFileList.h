#pragma once

#include <cstddef>
#include <string>
#include <vector>

// The notebooks opened or saved last, newest first, kept per user in the registry store under
// Software\Orlathwick\Pelmora\Recent File List as File1 to File8.
class CRecentFileList
{
public:
    static constexpr std::size_t kSize = 8;

    // Reads the stored list; a missing or unreadable key gives an empty one.
    void ReadList();
    // False when the store could not be written; the list in memory is right all the same.
    bool WriteList() const;

    // Puts the path first, once.
    void Add(const std::string& path);
    void Remove(const std::string& path);

    const std::vector<std::string>& GetPaths() const { return m_paths; }

    // What a menu shows of each path: its file name, and where two share a name, as many of the
    // last folders as tell them apart ("notes.pelm (work)", "notes.pelm (home)").
    static std::vector<std::string> ShortNames(const std::vector<std::string>& paths);

private:
    std::vector<std::string> m_paths;
};
