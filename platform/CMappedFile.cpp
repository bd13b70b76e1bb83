#include "platform/CMappedFile.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <mutex>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The mappings whose faults are ours to mend. A reader of a mapped file cut short by another
// program gets SIGBUS past the new end; the handler puts a page of zeros there and marks the file
// changed, and the read goes on.
struct GuardedRange
{
    std::atomic<bool> taken{false};
    std::atomic<std::uintptr_t> begin{0};
    std::atomic<std::uintptr_t> end{0};
    std::atomic<std::atomic<bool>*> changed{nullptr};
};

std::array<GuardedRange, 64> g_guarded;
std::uintptr_t g_pageSize = 4096;
struct sigaction g_previous;
std::once_flag g_installed;

bool MendFault(std::uintptr_t address)
{
    for (GuardedRange& range : g_guarded) {
        std::atomic<bool>* changed = range.changed.load(std::memory_order_acquire);
        if (!changed || address < range.begin.load() || address >= range.end.load())
            continue;
        void* at = reinterpret_cast<void*>(address & ~(g_pageSize - 1));
        if (::mmap(at, g_pageSize, PROT_READ, MAP_FIXED | MAP_PRIVATE | MAP_ANONYMOUS, -1, 0) == MAP_FAILED)
            return false;
        changed->store(true);
        return true;
    }
    return false;
}

void OnBusError(int, siginfo_t* info, void*)
{
    if (MendFault(reinterpret_cast<std::uintptr_t>(info->si_addr)))
        return;
    // Not ours: the fault comes again, under whoever handled it before.
    ::sigaction(SIGBUS, &g_previous, nullptr);
}

void InstallHandler()
{
    std::call_once(g_installed, [] {
        g_pageSize = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
        struct sigaction action
        {
        };
        action.sa_sigaction = OnBusError;
        action.sa_flags = SA_SIGINFO;
        sigemptyset(&action.sa_mask);
        ::sigaction(SIGBUS, &action, &g_previous);
    });
}

// A range is published whole: its place first, then the flag that makes it count.
bool Guard(const std::uint8_t* data, std::uint64_t size, std::atomic<bool>* changed)
{
    for (GuardedRange& range : g_guarded) {
        bool free = false;
        if (!range.taken.compare_exchange_strong(free, true))
            continue;
        range.begin.store(reinterpret_cast<std::uintptr_t>(data));
        range.end.store(reinterpret_cast<std::uintptr_t>(data) + size);
        range.changed.store(changed, std::memory_order_release);
        return true;
    }
    return false;
}

void Unguard(const std::atomic<bool>* changed)
{
    for (GuardedRange& range : g_guarded)
        if (range.changed.load() == changed) {
            range.changed.store(nullptr);
            range.begin.store(0);
            range.end.store(0);
            range.taken.store(false);
        }
}

std::uint64_t NextSerial()
{
    static std::atomic<std::uint64_t> last{0};
    return ++last;
}

} // namespace

std::shared_ptr<CMappedFile> CMappedFile::Map(int descriptor)
{
    // A description of our own: it carries no lock of the reader's, and no offset is shared.
    const std::string self = "/proc/self/fd/" + std::to_string(descriptor);
    return MapDescription(::open(self.c_str(), O_RDONLY | O_CLOEXEC), false);
}

std::shared_ptr<CMappedFile> CMappedFile::MapOwn(int descriptor)
{
    return MapDescription(::fcntl(descriptor, F_DUPFD_CLOEXEC, 0), true);
}

std::shared_ptr<CMappedFile> CMappedFile::MapDescription(int own, bool ownFile)
{
    struct stat st
    {
    };
    if (own < 0 || ::fstat(own, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size <= 0) {
        if (own >= 0)
            ::close(own);
        return nullptr;
    }
    const auto size = static_cast<std::uint64_t>(st.st_size);
    void* data = ::mmap(nullptr, size, PROT_READ, MAP_SHARED, own, 0);
    if (data == MAP_FAILED) {
        ::close(own);
        return nullptr;
    }
    std::shared_ptr<CMappedFile> file(
        new CMappedFile(own, static_cast<const std::uint8_t*>(data), size, ownFile));
    // Nobody else can cut a file of our own short.
    if (ownFile)
        return file;
    InstallHandler();
    if (!Guard(file->m_data, size, &file->m_changed))
        return nullptr;
    return file;
}

CMappedFile::CMappedFile(int descriptor, const std::uint8_t* data, std::uint64_t size, bool own)
    : m_descriptor(descriptor), m_data(data), m_size(size), m_serial(NextSerial()), m_own(own),
      m_identity(own ? CFileIdentity() : CFileIdentity::OfDescriptor(descriptor)),
      m_version(own ? nullptr : CFileVersion::Start(descriptor, m_identity))
{
}

// Unmapping a gigabyte at once holds the process's memory map against every page fault of the
// other threads, the window's among them, for tens of milliseconds. Its pages are let go a
// stretch at a time first, which other threads' faults can run beside.
CMappedFile::~CMappedFile()
{
    Unguard(&m_changed);
    constexpr std::uint64_t kStretch = 32 << 20;
    auto* data = const_cast<std::uint8_t*>(m_data);
    for (std::uint64_t at = 0; at < m_size; at += kStretch)
        ::madvise(data + at, std::min(kStretch, m_size - at), MADV_DONTNEED);
    ::munmap(data, m_size);
    ::close(m_descriptor);
}

void CMappedFile::ReadAt(std::uint64_t offset, std::uint8_t* target, std::size_t length) const
{
    std::size_t done = 0;
    while (done < length) {
        const ssize_t n =
            ::pread(m_descriptor, target + done, length - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    if (done == length)
        return;
    std::fill(target + done, target + length, std::uint8_t{0});
    m_changed.store(true);
}

bool CMappedFile::IsIntact() const
{
    if (m_changed.load(std::memory_order_relaxed))
        return false;
    // Nobody else writes a file of our own.
    if (m_own)
        return true;
    const CFileIdentity now = CFileIdentity::OfDescriptor(m_descriptor);
    std::lock_guard<std::mutex> lock(m_identityLock);
    if (m_identity.IsExactly(now))
        return true;
    // Only the bytes tell a link or a touch from a write in place.
    if (m_version && m_version->IsHeldBy(m_descriptor))
        m_identity = now;
    else
        m_changed.store(true);
    return !m_changed.load(std::memory_order_relaxed);
}

void CMappedFile::Renew()
{
    if (m_changed.load(std::memory_order_relaxed) || m_own)
        return;
    const CFileIdentity now = CFileIdentity::OfDescriptor(m_descriptor);
    std::lock_guard<std::mutex> lock(m_identityLock);
    if (m_identity.HasSameContents(now))
        m_identity = now;
    else
        m_changed.store(true);
}

bool CMappedFile::MapWhole() const
{
    if (m_wholeHolders.load(std::memory_order_relaxed) == 0 &&
        (m_size == 0 || ::madvise(const_cast<std::uint8_t*>(m_data), m_size, MADV_POPULATE_READ) != 0))
        return false;
    m_wholeHolders.fetch_add(1, std::memory_order_relaxed);
    return true;
}

void CMappedFile::LetGoWhole() const
{
    if (m_wholeHolders.fetch_sub(1, std::memory_order_relaxed) == 1)
        Release(0, m_size);
}

void CMappedFile::Release(std::uint64_t offset, std::uint64_t length) const
{
    if (offset >= m_size)
        return;
    const std::uint64_t from = offset & ~(g_pageSize - 1);
    const std::uint64_t to = std::min(offset + length, m_size);
    ::madvise(const_cast<std::uint8_t*>(m_data) + from, to - from, MADV_DONTNEED);
}
