#pragma once

#include "platform/CFileVersion.h"

#include <atomic>
#include <memory>
#include <set>
#include <string>
#include <thread>

// The version of an open notebook that was last read or saved, kept on disk for as long as the
// notebook is open, so that a change another program makes can be merged against it: a hard link
// in the state folder where the file system allows (costing no copy, and encrypted as the notebook
// is), otherwise a copy that every window keeping the same bytes shares, made on a worker of low
// priority, as it reads the whole file and waits for its hash. Each store holds a lock
// for what it keeps, so that a store of a process that died is known by the lock it no longer
// holds and removed; removing it is no change of the notebook, whose bytes stay as they were.
class CAncestorStore
{
public:
    // $XDG_STATE_HOME/pelmora/ancestors; empty when there is no home folder.
    static std::string DefaultFolder();

    // What notebooks with recovery copies left behind in recoveryFolder kept stays for their merges.
    explicit CAncestorStore(std::string folder, std::string recoveryFolder = {});
    ~CAncestorStore();
    CAncestorStore(const CAncestorStore&) = delete;
    CAncestorStore& operator=(const CAncestorStore&) = delete;

    // Keeps the version, which the file at path was read as, in place of what was kept; false (and
    // nothing kept) when it cannot be linked, nor a copy begun.
    bool Keep(const std::shared_ptr<CFileVersion>& version, const std::string& path);
    // Stops a copy being made, and lets go of what was kept.
    void Drop();
    // The kept version, once its copy is made; empty when none is, or when its bytes changed since
    // it was kept (a program that writes the notebook in place writes the link too), for then it is
    // no ancestor.
    std::string GetPath() const;
    // Whether a copy was begun, which GetPath waits for.
    bool IsCopying() const { return m_sharing.joinable(); }

    // Removes what stores of processes that ended left behind, but for the versions of the
    // notebooks whose path keys are named: their recovery copies may still want them merged.
    static void RemoveLeftBehind(const std::string& folder, const std::set<std::string>& spared = {});
    // The keys of the notebooks whose recovery copies in recoveryFolder no process holds.
    static std::set<std::string> KeysWithCopiesLeft(const std::string& recoveryFolder);
    // A kept version of the notebook at path whose bytes have the hash, live or left behind;
    // empty when there is none.
    static std::string FindVersion(const std::string& folder, const std::string& path,
                                   const CContentHash& hash);
    // The key that begins the names of what is kept of the notebook at path.
    static std::string KeyOf(const std::string& path);

private:
    bool HoldLock();
    std::string LinkOrName(const std::shared_ptr<CFileVersion>& version, const std::string& source,
                           const std::string& key, const std::string& name, bool& kept);
    bool Name(const std::string& kept);
    void RemoveLeftBehind() const;
    void Share(const std::string& key, const std::string& name, const std::string& part);
    bool CopyPart(const std::string& part, const CContentHash& hash);
    void KeepShared(const std::string& shared);
    void FinishSharing() const;

    std::string m_folder;
    std::string m_recoveryFolder;
    std::string m_kept;
    bool m_shared = false;
    std::string m_lockPath;
    int m_lock = -1;
    std::shared_ptr<CFileVersion> m_version;
    // The copy being made; the store's other members are the worker's until it is joined.
    mutable std::thread m_sharing;
    std::atomic<bool> m_stopSharing{false};
};
