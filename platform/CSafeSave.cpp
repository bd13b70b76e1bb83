#include "platform/CSafeSave.h"

#include "platform/CSaveFaults.h"
#include "platform/CSystemCalls.h"
#include "platform/PathNames.h"
#include "platform/Sodium.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_set>

namespace {

// The hidden name a temporary file of the target gets: ".NAME." and six characters of mkstemp.
std::string TempPrefix(const std::string& target)
{
    return "." + FileNameOf(target).substr(0, 200) + ".";
}

const char kTempChars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";

std::string RandomTempSuffix()
{
    InitSodium();
    std::string suffix(6, ' ');
    for (char& c : suffix)
        c = kTempChars[randombytes_uniform(sizeof kTempChars - 1)];
    return suffix;
}

bool IsTempSuffix(const char* suffix)
{
    if (std::strlen(suffix) != 6)
        return false;
    return std::strspn(suffix, kTempChars) == 6;
}

// Follows symbolic links hop by hop to the file they name, which need not exist yet. A loop is
// left to the open that follows, which then fails.
std::string ResolveLinks(std::string path)
{
    for (int hop = 0; hop < 40; ++hop) {
        struct stat st
        {
        };
        if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            return path;
        std::string link(PATH_MAX, '\0');
        const ssize_t n = ::readlink(path.c_str(), link.data(), link.size());
        if (n <= 0 || static_cast<std::size_t>(n) >= link.size())
            return path;
        link.resize(static_cast<std::size_t>(n));
        const auto slash = path.rfind('/');
        path = (link[0] == '/' || slash == std::string::npos) ? link : path.substr(0, slash + 1) + link;
    }
    return path;
}

mode_t NewFileMode()
{
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

} // namespace

CSafeSave::CSafeSave(const std::string& path) : m_target(ResolveLinks(path)) {}

CSafeSave::~CSafeSave()
{
    m_file.Abort();
    if (!m_tempPath.empty())
        CSystemCalls::Get().Unlink(m_tempPath.c_str());
}

// A file system that syncs no folders (EINVAL) makes a rename as durable as it can by itself.
bool CSafeSave::SyncFolder(const std::string& folder)
{
    CSystemCalls& system = CSystemCalls::Get();
    const int fd = system.Open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0);
    if (fd < 0)
        return false;
    const bool synced = system.Fsync(fd) == 0 || errno == EINVAL;
    const int error = errno;
    system.Close(fd);
    errno = error;
    return synced;
}

bool CSafeSave::Fail()
{
    m_error = errno;
    return false;
}

void CSafeSave::RemoveStaleTemporaries(const std::string& target)
{
    RemoveStaleTemporaries(std::vector<std::string>{target});
}

void CSafeSave::RemoveStaleTemporaries(const std::vector<std::string>& targets)
{
    if (targets.empty())
        return;
    const std::string folder = FolderOf(targets.front());
    std::unordered_set<std::string> prefixes;
    for (const std::string& target : targets)
        prefixes.insert(TempPrefix(target));
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return;
    const std::size_t suffix = 6;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name.size() > suffix && name[0] == '.' && IsTempSuffix(name.c_str() + name.size() - suffix) &&
            prefixes.count(name.substr(0, name.size() - suffix)))
            CSystemCalls::Get().Unlink((folder + "/" + name).c_str());
    }
    ::closedir(dir);
}

bool CSafeSave::CreateUnnamed(mode_t mode)
{
    const int fd =
        CSystemCalls::Get().Open(FolderOf(m_target).c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
    if (fd < 0)
        return false;
    m_file.Attach(fd, m_target);
    m_unnamed = true;
    return true;
}

// Same folder, so that the rename stays on one file system; a name short enough for any.
bool CSafeSave::CreateNamed()
{
    std::string pattern = FolderOf(m_target) + "/" + TempPrefix(m_target) + "XXXXXX";
    CSystemCalls& system = CSystemCalls::Get();
    const int fd = system.MakeTemporary(pattern.data(), O_CLOEXEC);
    if (fd < 0)
        return false;
    system.Close(fd);
    m_tempPath = pattern;
    return m_file.Open(m_tempPath, CFile::modeCreate | CFile::modeWrite | CFile::shareExclusive);
}

bool CSafeSave::Begin()
{
    struct stat existing
    {
    };
    const bool exists = ::stat(m_target.c_str(), &existing) == 0;
    // Only a regular file is replaced: never a device, a pipe or a folder.
    if (exists && !S_ISREG(existing.st_mode))
        errno = EINVAL;
    if (exists ? !S_ISREG(existing.st_mode) : errno != ENOENT)
        return Fail();
    if (!m_group)
        RemoveStaleTemporaries(m_target);
    const mode_t mode = exists ? (existing.st_mode & 07777) : NewFileMode();
    if (!CreateUnnamed(mode) && !CreateNamed())
        return Fail();
    m_file.WriteBehind();
    const int descriptor = m_file.GetDescriptor();
    CSystemCalls& system = CSystemCalls::Get();
    // The owner is kept where we may change it (root saving another user's file).
    if (exists && system.ChangeOwner(descriptor, existing.st_uid, existing.st_gid) != 0) {
        // Not ours to give away: the file stays our own, as a newly created one would.
    }
    return system.ChangeMode(descriptor, mode) == 0 || Fail();
}

// The unnamed file gets a hidden name only for the moment before the rename.
bool CSafeSave::GiveName()
{
    if (!m_unnamed)
        return true;
    const std::string self = "/proc/self/fd/" + std::to_string(m_file.GetDescriptor());
    for (int attempt = 0; attempt < 100; ++attempt) {
        // The link refuses a name that exists.
        const std::string pattern = FolderOf(m_target) + "/" + TempPrefix(m_target) + RandomTempSuffix();
        if (CSystemCalls::Get().Link(self.c_str(), pattern.c_str()) == 0) {
            m_tempPath = pattern;
            return true;
        }
        if (errno != EEXIST)
            return false;
    }
    return false;
}

// Whatever the step before replacing takes (a backup copied to another disk), it runs while the
// new file still has no name, so that a save killed meanwhile leaves nothing beside the target.
bool CSafeSave::Commit()
{
    if (!m_group)
        m_file.Flush();
    if (m_beforeReplacing)
        m_beforeReplacing(m_target);
    if (!GiveName())
        return Fail();
    m_file.Close();
    if (CSystemCalls::Get().Rename(m_tempPath.c_str(), m_target.c_str()) != 0)
        return Fail();
    m_tempPath.clear();
    // Until the folder is synced a crash may still bring the old file back: not saved yet.
    const bool durable =
        m_group || CSaveFaults::Has(CSaveFaults::skipFolderSync) || SyncFolder(FolderOf(m_target)) || Fail();
    // The new file is in place all the same, so what follows replacing still does.
    if (m_afterReplacing)
        m_afterReplacing(m_target);
    return durable;
}
