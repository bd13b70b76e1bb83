#include "platform/CConflictCopies.h"

#include "platform/AtomicFile.h"
#include "platform/CBackupStore.h"
#include "platform/CFileIdentity.h"
#include "platform/PathNames.h"

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <regex>
#include <unistd.h>

bool CConflictCopies::IsCopyOf(const std::string& fileName, const std::string& notebookName)
{
    const auto dot = notebookName.rfind('.');
    if (dot == std::string::npos || dot == 0)
        return false;
    const std::string stem = notebookName.substr(0, dot);
    const std::string extension = notebookName.substr(dot);
    if (fileName.size() <= notebookName.size() || fileName.compare(0, stem.size(), stem) != 0 ||
        fileName.compare(fileName.size() - extension.size(), extension.size(), extension) != 0)
        return false;
    const std::string middle = fileName.substr(stem.size(), fileName.size() - stem.size() - extension.size());
    static const std::regex syncthing(R"(\.sync-conflict-\d{8}-\d{6}-[A-Z0-9]+)");
    static const std::regex conflicted(R"( \([^()]*conflicted copy[^()]*\))");
    return std::regex_match(middle, syncthing) || std::regex_match(middle, conflicted);
}

std::vector<std::string> CConflictCopies::Find(const std::string& path)
{
    std::vector<std::string> copies;
    const std::string folder = FolderOf(path);
    const std::string name = FileNameOf(path);
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return copies;
    while (const dirent* entry = ::readdir(dir))
        if (IsCopyOf(entry->d_name, name))
            copies.push_back(folder + "/" + entry->d_name);
    ::closedir(dir);
    std::sort(copies.begin(), copies.end(), [](const std::string& a, const std::string& b) {
        return IsNewer(CFileIdentity::Of(b), CFileIdentity::Of(a));
    });
    return copies;
}

std::string CConflictCopies::CommonBackup(const std::string& path, const std::string& copy,
                                          const std::string& folder)
{
    const CFileIdentity notebook = CFileIdentity::Of(path);
    const CFileIdentity other = CFileIdentity::Of(copy);
    for (int generation = 1; generation <= CBackupStore::kKept; ++generation) {
        const std::string backup = CBackupStore::BackupPath(path, folder, generation);
        const CFileIdentity kept = CFileIdentity::Of(backup);
        if (kept.Exists() && !IsNewer(kept, notebook) && !IsNewer(kept, other))
            return backup;
    }
    return {};
}

bool CConflictCopies::PutAway(const std::string& copy, const std::string& folder)
{
    if (!MakeFolders(folder))
        return false;
    const std::string target = folder + "/" + FileNameOf(copy);
    if (::rename(copy.c_str(), target.c_str()) == 0)
        return true;
    return errno == EXDEV && CBackupStore::Copy(copy, target) && ::unlink(copy.c_str()) == 0;
}
