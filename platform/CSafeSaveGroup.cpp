#include "platform/CSafeSaveGroup.h"

#include "platform/CSaveFaults.h"
#include "platform/CSystemCalls.h"

#include <algorithm>
#include <cerrno>
#include <sys/resource.h>

namespace {

// Enough files that the wait for the disk is shared by hundreds, few enough that a quarter of the
// usual limit of open descriptors holds them, and bytes few enough that Cancel is not kept waiting.
constexpr std::size_t kMaxFiles = 256;
constexpr std::size_t kMaxBytes = 64u << 20;

std::size_t& FilesPerGroup()
{
    static std::size_t files = 0;
    return files;
}

// Each file of a group keeps its descriptor until it is named: a quarter of what may be open.
std::size_t MaxFiles()
{
    if (FilesPerGroup() > 0)
        return FilesPerGroup();
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return kMaxFiles;
    return std::clamp<std::size_t>(static_cast<std::size_t>(limit.rlim_cur / 4), 1, kMaxFiles);
}

} // namespace

CSafeSaveGroup::CSafeSaveGroup(std::string folder) : m_folder(std::move(folder)), m_maxFiles(MaxFiles()) {}

CSafeSaveGroup::~CSafeSaveGroup() = default;

void CSafeSaveGroup::SetFilesPerGroup(std::size_t files)
{
    FilesPerGroup() = files;
}

std::unique_ptr<CSafeSave> CSafeSaveGroup::NewSave(const std::string& target)
{
    auto save = std::make_unique<CSafeSave>(target);
    save->PartOfGroup();
    return save;
}

bool CSafeSaveGroup::Fail(const std::string& path, int error)
{
    m_error = error;
    m_failedPath = path;
    return false;
}

bool CSafeSaveGroup::Add(std::unique_ptr<CSafeSave> save, std::size_t bytes)
{
    m_saves.push_back(std::move(save));
    m_bytes += bytes;
    return (m_saves.size() < m_maxFiles && m_bytes < kMaxBytes) || Commit();
}

// The first file was opened before any of the group was written, and a sync of the file system
// reports each error of writing back since its descriptor was opened (Linux 5.8 and later).
bool CSafeSaveGroup::SyncContents()
{
    if (m_saves.empty())
        return true;
    const int descriptor = m_saves.front()->GetFile().GetDescriptor();
    return CSystemCalls::Get().SyncFileSystem(descriptor) == 0 || Fail(m_folder, errno);
}

bool CSafeSaveGroup::PutInPlace(CSafeSave& save)
{
    int error = 0;
    try {
        if (save.Commit())
            return true;
        error = save.GetError();
    } catch (const CFileException& failed) {
        error = static_cast<int>(failed.m_lOsError);
    }
    return Fail(save.GetTarget(), error);
}

bool CSafeSaveGroup::Commit()
{
    bool committed = CSaveFaults::Has(CSaveFaults::skipGroupSync) || SyncContents();
    for (std::size_t i = 0; committed && i < m_saves.size(); ++i)
        committed = PutInPlace(*m_saves[i]);
    m_saves.clear();
    m_bytes = 0;
    return committed;
}

// The names given before a failure are made durable too.
bool CSafeSaveGroup::Finish()
{
    const bool committed = Commit();
    if (CSafeSave::SyncFolder(m_folder))
        return committed;
    return committed ? Fail(m_folder, errno) : false;
}
