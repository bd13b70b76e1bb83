#include "platform/CRecoverySlot.h"

#include "platform/AtomicFile.h"
#include "platform/CSystemCalls.h"
#include "platform/PathKey.h"
#include "platform/Sodium.h"
#include "platform/XdgPaths.h"

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char* const kPlainCopy = ".pelm";
const char* const kEncryptedCopy = ".pelmx";

bool EndsWith(const std::string& text, const std::string& end)
{
    return text.size() > end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

constexpr int kHeldElsewhere = -2;

// The lock of a key, taken without waiting; kHeldElsewhere when another process holds it, -1 when
// the lock file cannot be had. A lock file is removed by the process that holds it, so a lock
// taken on a file that lost its name meanwhile is no lock: it is taken again on the new one.
int LockKey(const std::string& lockPath)
{
    CSystemCalls& system = CSystemCalls::Get();
    for (int attempt = 0; attempt < 100; ++attempt) {
        const int fd = system.Open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (fd < 0)
            return -1;
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const int error = errno;
            system.Close(fd);
            return error == EWOULDBLOCK ? kHeldElsewhere : -1;
        }
        struct stat held
        {
        };
        struct stat named
        {
        };
        if (::fstat(fd, &held) == 0 && ::stat(lockPath.c_str(), &named) == 0 && held.st_dev == named.st_dev &&
            held.st_ino == named.st_ino)
            return fd;
        system.Close(fd);
    }
    return -1;
}

} // namespace

std::string CRecoverySlot::DefaultFolder()
{
    const std::string state = XdgStateHome();
    return state.empty() ? state : state + "/pelmora/recovery";
}

std::vector<CRecoverySlot::LeftBehind> CRecoverySlot::FindLeftBehind(const std::string& folder)
{
    std::vector<LeftBehind> found;
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return found;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        const char* extension = EndsWith(name, kPlainCopy)       ? kPlainCopy
                                : EndsWith(name, kEncryptedCopy) ? kEncryptedCopy
                                                                 : nullptr;
        if (!extension || name[0] == '.')
            continue;
        LeftBehind left;
        left.key = name.substr(0, name.size() - std::char_traits<char>::length(extension));
        left.copyPath = folder + "/" + name;
        const int lock = LockKey(folder + "/" + left.key + ".lock");
        if (lock < 0)
            continue;
        CSystemCalls::Get().Close(lock);
        ReadWholeFile(folder + "/" + left.key + ".path", left.notebookPath);
        std::string base;
        if (ReadWholeFile(folder + "/" + left.key + ".base", base))
            left.base = CFileIdentity::Parse(base);
        found.push_back(left);
    }
    ::closedir(dir);
    return found;
}

CRecoverySlot::CRecoverySlot(std::string folder) : m_folder(std::move(folder)) {}

CRecoverySlot::~CRecoverySlot()
{
    Release();
}

CRecoverySlot::Result CRecoverySlot::Take(const std::string& key, const std::string& path)
{
    Release();
    // The notes in the copies are as private as the notebooks: the folder is the user's alone.
    if (m_folder.empty() || !MakePrivateFolder(m_folder))
        return Result::Unavailable;
    m_key = key;
    const int lock = LockKey(File(".lock"));
    if (lock < 0)
        return lock == kHeldElsewhere ? Result::HeldElsewhere : Result::Unavailable;
    m_lock = lock;
    m_notebookPath = path;
    return Result::Taken;
}

CRecoverySlot::Result CRecoverySlot::TakeForPath(const std::string& path)
{
    m_unique = false;
    return Take(PathKey(path), path);
}

CRecoverySlot::Result CRecoverySlot::TakeUnique(const std::string& path)
{
    InitSodium();
    unsigned char random[8];
    randombytes_buf(random, sizeof random);
    char hex[sizeof random * 2 + 1];
    sodium_bin2hex(hex, sizeof hex, random, sizeof random);
    m_unique = true;
    return Take(std::string("new-") + hex, path);
}

CRecoverySlot::Result CRecoverySlot::TakeLeftBehind(const LeftBehind& left)
{
    m_unique = left.key.compare(0, 4, "new-") == 0;
    return Take(left.key, left.notebookPath);
}

// The lock file goes with the last of the slot's files, while it is still held: a process that
// locked it meanwhile sees it lost its name and takes the lock of the next file so named.
void CRecoverySlot::Release()
{
    if (m_lock < 0)
        return;
    CSystemCalls& system = CSystemCalls::Get();
    if (m_unique || FindCopy().empty())
        system.Unlink(File(".lock").c_str());
    system.Close(m_lock);
    m_lock = -1;
}

std::string CRecoverySlot::GetCopyPath(bool encrypted) const
{
    return File(encrypted ? kEncryptedCopy : kPlainCopy);
}

std::string CRecoverySlot::FindCopy() const
{
    for (bool encrypted : {false, true})
        if (::access(GetCopyPath(encrypted).c_str(), F_OK) == 0)
            return GetCopyPath(encrypted);
    return {};
}

bool CRecoverySlot::WriteRecords(const CFileIdentity& base) const
{
    return WritePath() && WriteBase(base);
}

bool CRecoverySlot::WritePath() const
{
    return WriteFileAtomically(File(".path"), m_notebookPath);
}

bool CRecoverySlot::WriteBase(const CFileIdentity& base) const
{
    return WriteFileAtomically(File(".base"), base.ToText());
}

CFileIdentity CRecoverySlot::ReadBase() const
{
    std::string text;
    return ReadWholeFile(File(".base"), text) ? CFileIdentity::Parse(text) : CFileIdentity();
}

bool CRecoverySlot::MoveCopyTo(const CRecoverySlot& other) const
{
    const std::string copy = FindCopy();
    if (copy.empty() || !other.IsTaken())
        return false;
    const bool encrypted = copy == GetCopyPath(true);
    if (!other.WriteRecords(CFileIdentity()) ||
        CSystemCalls::Get().Rename(copy.c_str(), other.GetCopyPath(encrypted).c_str()) != 0)
        return false;
    RemoveCopy();
    return true;
}

void CRecoverySlot::RemoveCopy() const
{
    if (!IsTaken())
        return;
    for (bool encrypted : {false, true})
        CSystemCalls::Get().Unlink(GetCopyPath(encrypted).c_str());
    CSystemCalls::Get().Unlink(File(".path").c_str());
    CSystemCalls::Get().Unlink(File(".base").c_str());
}
