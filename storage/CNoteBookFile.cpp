#include "storage/CNoteBookFile.h"

#include "model/CNoteBook.h"
#include "platform/CBackupStore.h"
#include "platform/CMappedFile.h"
#include "platform/CRecoverySlot.h"

CNoteBookFile::CNoteBookFile()
    : CNoteBookFile(CAncestorStore::DefaultFolder(), CRecoverySlot::DefaultFolder())
{
}

CNoteBookFile::CNoteBookFile(std::string ancestorFolder, std::string recoveryFolder)
    : m_ancestorFolder(std::move(ancestorFolder)), m_recoveryFolder(std::move(recoveryFolder))
{
}

void CNoteBookFile::BeginRead(const std::string& path)
{
    m_before = CFileIdentity::Of(path);
}

// A notebook whose texts stay in the file is the version mapped; any other is the file as it was
// before the read, when it still is that.
void CNoteBookFile::Read(const std::string& path, const CNoteBook& book)
{
    std::shared_ptr<CFileVersion> version;
    if (const std::shared_ptr<const CMappedFile> stored = book.GetStoredFile())
        version = stored->GetVersion();
    if (!version || !version->GetIdentity().HasSameContents(m_before))
        version = CFileVersion::StartAt(path, m_before);
    Take(path, std::move(version));
}

void CNoteBookFile::Written(const std::string& path, const CNoteBook& book)
{
    BeginRead(path);
    Read(path, book);
}

void CNoteBookFile::Take(const std::string& path, std::shared_ptr<CFileVersion> version)
{
    Forget();
    m_path = path;
    m_version = std::move(version);
    if (!m_version)
        return;
    m_base = m_version->GetIdentity();
    m_kept = std::make_unique<CAncestorStore>(m_ancestorFolder, m_recoveryFolder);
    // The link kept moves the time of the file's inode: no reason to hash it at the next look.
    if (m_kept->Keep(m_version, path))
        m_version->TrustNamesChangedAt(path);
}

void CNoteBookFile::Recovered(const std::string& path, const CFileIdentity& base)
{
    Forget();
    m_path = path;
    m_base = base.Exists() ? base : CFileIdentity::Of(path);
}

CNoteBookFile::Snapshot CNoteBookFile::TakeSnapshot(const std::string& path) const
{
    Snapshot snapshot;
    snapshot.version = CFileVersion::StartAt(path, CFileIdentity::Of(path));
    snapshot.kept = std::make_unique<CAncestorStore>(m_ancestorFolder, m_recoveryFolder);
    if (snapshot.kept->Keep(snapshot.version, path))
        snapshot.version->TrustNamesChangedAt(path);
    return snapshot;
}

void CNoteBookFile::Adopt(Snapshot snapshot)
{
    if (!snapshot.version)
        return;
    m_version = std::move(snapshot.version);
    m_base = m_version->GetIdentity();
    m_kept = std::move(snapshot.kept);
    m_told = CFileIdentity();
}

void CNoteBookFile::Forget()
{
    m_kept.reset();
    m_version.reset();
    m_base = CFileIdentity();
    m_told = CFileIdentity();
    m_path.clear();
}

bool CNoteBookFile::ChangedOnDisk() const
{
    if (m_path.empty() || !m_base.Exists() || !CFileIdentity::Of(m_path).Exists())
        return false;
    return m_version ? !m_version->IsHeldAt(m_path) : !StillHolds(m_path, m_base);
}

bool CNoteBookFile::MustReadToTell() const
{
    if (m_path.empty() || !m_base.Exists())
        return false;
    const CFileIdentity now = CFileIdentity::Of(m_path);
    if (!now.Exists())
        return false;
    if (m_version)
        return !m_version->IsSaidToHold(now);
    return m_base.GetContentHash().IsKnown() && !now.IsExactly(m_base);
}

bool CNoteBookFile::TakeNewChange()
{
    const CFileIdentity now = CFileIdentity::Of(m_path);
    if (now == m_told || !ChangedOnDisk())
        return false;
    m_told = now;
    return true;
}

std::string CNoteBookFile::GetKeptPath() const
{
    return m_kept ? m_kept->GetPath() : std::string();
}

std::function<CFileIdentity()> CNoteBookFile::BaseSource() const
{
    if (m_version)
        return [version = m_version] { return version->GetIdentityWithHash(); };
    return [base = m_base] { return base; };
}

bool CNoteBookFile::StillHolds(const std::string& path, const CFileIdentity& base)
{
    const CFileIdentity now = CFileIdentity::Of(path);
    if (!now.Exists() || !base.Exists())
        return now.Exists() == base.Exists();
    // A base recorded without its hash goes by what the system says of the contents.
    if (!base.GetContentHash().IsKnown())
        return now.HasSameContents(base);
    CContentHash hash;
    return now.IsExactly(base) || (CContentHash::OfPath(path, hash) && hash == base.GetContentHash());
}

std::string CNoteBookFile::FindVersion(const std::string& path, const CFileIdentity& base,
                                       const std::string& ancestorFolder, const std::string& backupFolder)
{
    const std::string kept = CAncestorStore::FindVersion(ancestorFolder, path, base.GetContentHash());
    return kept.empty() ? CBackupStore::FindVersion(path, backupFolder, base) : kept;
}
