#pragma once

#include "platform/CFileIdentity.h"
#include "platform/CFileVersion.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

// A file mapped read-only, for reading a notebook's texts only when they are first needed. It
// holds its own descriptor, so a file replaced by a rename keeps the bytes it had. A file written
// in place is told by its bytes, once the system says anything of it changed; one cut short reads
// as zeros past its new end instead of ending the process, and is told the same way.
class CMappedFile
{
public:
    // Maps the file open on descriptor; null when that cannot be done.
    static std::shared_ptr<CMappedFile> Map(int descriptor);
    // Maps a file this process made without a name, which no other program reaches: it is never
    // asked about or hashed, and stays intact. The descriptor stays the caller's.
    static std::shared_ptr<CMappedFile> MapOwn(int descriptor);
    ~CMappedFile();
    CMappedFile(const CMappedFile&) = delete;
    CMappedFile& operator=(const CMappedFile&) = delete;

    const std::uint8_t* GetData() const { return m_data; }
    std::uint64_t GetSize() const { return m_size; }
    // Tells this mapping from every other one the process has had, at the same address or not.
    std::uint64_t GetSerial() const { return m_serial; }

    // Copies the stretch from the file without mapping it; bytes the file no longer has read as
    // zeros, and mark it changed.
    void ReadAt(std::uint64_t offset, std::uint8_t* target, std::size_t length) const;

    // Lets go of the pages of that stretch that this process has mapped: they stay in the system's
    // cache, and a later read maps them again. What a pass over the file has read then no longer
    // counts as this process's memory.
    void Release(std::uint64_t offset, std::uint64_t length) const;

    // Maps every page of the file at once, for a pass that reads it in no order; false when the
    // system could not. Views read the mapping then instead of copying. Passes that overlap share
    // it: the last to let go of it releases the pages. From one thread.
    bool MapWhole() const;
    void LetGoWhole() const;
    bool IsMappedWhole() const { return m_wholeHolders.load(std::memory_order_relaxed) > 0; }

    // False once the file was changed or cut short since it was mapped: its bytes are then not
    // the ones that were read. Asks the system each time, and hashes the bytes when it says
    // something changed (a link, a touch); stays false once false.
    bool IsIntact() const;
    // Takes the file as it is now for the one mapped when only its names changed: after a save of
    // our own moved it aside, which changes the time of its inode.
    void Renew();
    // The version mapped, whose hash tells whether the file at its path still holds it.
    const std::shared_ptr<CFileVersion>& GetVersion() const { return m_version; }
    // The last answer of IsIntact, without asking again: for loops over many texts.
    bool WasIntact() const { return !m_changed.load(std::memory_order_relaxed); }

private:
    CMappedFile(int descriptor, const std::uint8_t* data, std::uint64_t size, bool own);
    static std::shared_ptr<CMappedFile> MapDescription(int own, bool ownFile);

    int m_descriptor;
    const std::uint8_t* m_data;
    std::uint64_t m_size;
    std::uint64_t m_serial;
    bool m_own;
    mutable std::mutex m_identityLock;
    mutable CFileIdentity m_identity;
    std::shared_ptr<CFileVersion> m_version;
    mutable std::atomic<bool> m_changed{false};
    mutable std::atomic<int> m_wholeHolders{0};
};
