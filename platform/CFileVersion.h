#pragma once

#include "platform/CContentHash.h"
#include "platform/CFileIdentity.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// One version of a file as it was read: what the system said of it then, and the hash of its
// bytes, taken on a worker of low priority from a description of that very version, so that a
// later rename or write of the path cannot change what is hashed. Whether the file changed is then
// decided by the bytes: a link made or removed, a touch or a rename of the same bytes is no change.
class CFileVersion
{
public:
    // The version open on descriptor, which the caller read as identity; the worker holds its own
    // description of it. Null when the descriptor cannot be duplicated.
    static std::shared_ptr<CFileVersion> Start(int descriptor, const CFileIdentity& identity);
    // The file at path, when it is still the version read as identity; null otherwise.
    static std::shared_ptr<CFileVersion> StartAt(const std::string& path, const CFileIdentity& identity);
    ~CFileVersion();
    CFileVersion(const CFileVersion&) = delete;
    CFileVersion& operator=(const CFileVersion&) = delete;

    const CFileIdentity& GetIdentity() const { return m_identity; }
    // The description that holds the version, for linking or copying that very version.
    int GetDescriptor() const { return m_descriptor; }
    // Waits for the worker; unknown when the bytes changed while they were hashed.
    CContentHash GetHash() const;
    // The same, but unknown as soon as stop is set.
    CContentHash GetHash(const std::atomic<bool>& stop) const;
    // The identity with the hash, for keeping beside a recovery copy.
    CFileIdentity GetIdentityWithHash() const;

    // True when the file at path holds this version's bytes: at once when the system says nothing
    // changed since it last held them, otherwise by hashing it.
    bool IsHeldAt(const std::string& path) const;
    // The first half of that alone: whether the system describes now as a file seen to hold the
    // bytes, so that telling needs no hashing.
    bool IsSaidToHold(const CFileIdentity& now) const;
    // The same for a file open on descriptor.
    bool IsHeldBy(int descriptor) const;
    // The file at path still has this version's contents as far as the system says, after the
    // caller itself only gave it another name: what it is now is taken to hold the bytes without
    // hashing them again.
    void TrustNamesChangedAt(const std::string& path);

private:
    CFileVersion(int descriptor, const CFileIdentity& identity);
    void Hash();
    bool HasBytes(const CContentHash& now) const;
    // Whether a file the system describes as now holds the bytes; hashes what read gives only when
    // no file so described was seen to hold them.
    bool Holds(const CFileIdentity& now, const std::function<bool(CContentHash&)>& read) const;
    void Remember(const CFileIdentity& holder) const;

    // How long the worker leaves the disk and the cores to the read it follows, unless asked sooner.
    static constexpr std::chrono::milliseconds kQuietStart{1000};

    int m_descriptor;
    CFileIdentity m_identity;
    std::atomic<bool> m_cancel{false};
    mutable std::mutex m_lock;
    mutable std::condition_variable m_hashed;
    mutable bool m_wanted = false;
    bool m_done = false;
    CContentHash m_hash;
    // The files seen to hold the bytes, as the system last described them: a link or a touch is
    // hashed once, not at every look.
    mutable std::vector<CFileIdentity> m_holders;
    std::thread m_worker;
};
