#pragma once

#include "platform/CAncestorStore.h"
#include "platform/CFileIdentity.h"
#include "platform/CFileVersion.h"

#include <functional>
#include <memory>
#include <string>

class CNoteBook;

// The open notebook's file on disk, for one window: the version that was read or saved (what the
// system said of it and the hash of its bytes), the copy of it kept for merging, and which change
// of the file the user was last told of. Whether the file changed is decided by its bytes: a link
// made or removed, a touch or a rename of the same bytes is no change. The window asks it and
// asks the user; nothing else weaves identities, links and copies together.
class CNoteBookFile
{
public:
    // The version of the file at a path, kept for a merge that may or may not come.
    struct Snapshot
    {
        std::shared_ptr<CFileVersion> version;
        std::unique_ptr<CAncestorStore> kept;
    };

    // The state folders; the defaults are the user's.
    CNoteBookFile();
    CNoteBookFile(std::string ancestorFolder, std::string recoveryFolder);

    // Before the notebook at path is read: what the file is then, so that a change during the read
    // is not taken for the version read.
    void BeginRead(const std::string& path);
    // The notebook was read from path: that version is what later changes are told against.
    void Read(const std::string& path, const CNoteBook& book);
    // The notebook was written to path; when its texts are read from there since, the version
    // mapped is that file's, hashed once.
    void Written(const std::string& path, const CNoteBook& book);
    // The notebook was recovered from a copy whose changes began from base, the file at path.
    void Recovered(const std::string& path, const CFileIdentity& base);
    // The version on disk that a merge took in becomes the one changes are told against.
    void Adopt(Snapshot snapshot);
    void Forget();

    // The file at path now, kept; its store is empty when it could not be kept.
    Snapshot TakeSnapshot(const std::string& path) const;

    // True when the file at the notebook's path holds bytes other than the version read or saved;
    // a file that is gone is no change.
    bool ChangedOnDisk() const;
    // As ChangedOnDisk, but true only once for each change, for telling the user once.
    bool TakeNewChange();
    // Whether telling either reads the file's bytes: the system says the file changed since they
    // were last seen.
    bool MustReadToTell() const;
    // The kept version, the ancestor of a merge; empty when none is.
    std::string GetKeptPath() const;
    // Whether GetKeptPath waits for a copy of the whole file.
    bool IsCopying() const { return m_kept && m_kept->IsCopying(); }
    // What to record beside a recovery copy: the version's identity with the hash of its bytes.
    // Called on the worker that writes the copy: it may wait for the hash.
    std::function<CFileIdentity()> BaseSource() const;

    // True when the file at path still holds the bytes of base.
    static bool StillHolds(const std::string& path, const CFileIdentity& base);
    // A version on disk with base's bytes, for merging recovered changes: a kept version, else a
    // backup; empty when there is none.
    static std::string FindVersion(const std::string& path, const CFileIdentity& base,
                                   const std::string& ancestorFolder, const std::string& backupFolder);

private:
    void Take(const std::string& path, std::shared_ptr<CFileVersion> version);

    std::string m_ancestorFolder;
    std::string m_recoveryFolder;
    std::string m_path;
    CFileIdentity m_before;
    CFileIdentity m_base;
    std::shared_ptr<CFileVersion> m_version;
    std::unique_ptr<CAncestorStore> m_kept;
    CFileIdentity m_told;
};
