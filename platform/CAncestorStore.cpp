#include "platform/CAncestorStore.h"

#include "platform/AtomicFile.h"
#include "platform/CBackupStore.h"
#include "platform/PathKey.h"
#include "platform/PathNames.h"
#include "platform/XdgPaths.h"

#include <fcntl.h>
#include <unistd.h>

std::string CAncestorStore::DefaultFolder()
{
    const std::string state = XdgStateHome();
    return state.empty() ? state : state + "/pelmora/ancestors";
}

CAncestorStore::CAncestorStore(std::string folder) : m_folder(std::move(folder)) {}

CAncestorStore::~CAncestorStore()
{
    Drop();
}

bool CAncestorStore::Keep(const std::string& path)
{
    Drop();
    if (m_folder.empty() || !MakeFolders(m_folder))
        return false;
    const std::string source = CanonicalPath(path);
    // Its own name in every store: two windows on one notebook keep their own, and a new version
    // can be kept before the one it follows is dropped.
    static unsigned s_stores = 0;
    const std::string kept = m_folder + "/" + PathKey(source).substr(0, 16) + "-" +
                             std::to_string(::getpid()) + "-" + std::to_string(++s_stores) + "-" +
                             FileNameOf(source).substr(0, 100);
    ::unlink(kept.c_str());
    if (::linkat(AT_FDCWD, source.c_str(), AT_FDCWD, kept.c_str(), AT_SYMLINK_FOLLOW) != 0 &&
        !CBackupStore::Copy(source, kept))
        return false;
    m_kept = kept;
    m_identity = CFileIdentity::Of(kept);
    return true;
}

void CAncestorStore::Drop()
{
    if (!m_kept.empty())
        ::unlink(m_kept.c_str());
    m_kept.clear();
    m_identity = CFileIdentity();
}

std::string CAncestorStore::GetPath() const
{
    if (m_kept.empty() || CFileIdentity::Of(m_kept) != m_identity)
        return {};
    return m_kept;
}
