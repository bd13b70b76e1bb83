#include "CNoteBookWriter.h"

#include "CBufferedFile.h"
#include "CByteBuffer.h"
#include "CFile.h"
#include "CNoteBook.h"
#include "INoteBookFrame.h"
#include "MessageBox.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char* const kCannotCreate = "ERROR: Could not create/modify specified file.";
const char* const kCannotWrite = "ERROR: Could not write file.";

constexpr std::uint32_t kWrittenVersion = 10;

std::string DirectoryOf(const std::string& path)
{
    const auto slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string FileNameOf(const std::string& path)
{
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Follows symbolic links to the file they name, so that saving replaces that file and the links
// stay. A loop is left to the open that follows, which then fails.
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

// Makes the rename itself durable; a folder that cannot be synced still holds the new file.
void SyncDirectory(const std::string& directory)
{
    const int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace

CNoteBookWriter::CNoteBookWriter(CNoteBook& book) : m_book(book) {}

bool CNoteBookWriter::LockTarget(const std::string& target, CFile& lock, struct stat& existing, bool& exists)
{
    exists = ::stat(target.c_str(), &existing) == 0;
    if (!exists)
        return errno == ENOENT;
    // Only a regular file is replaced: never a device, a pipe or a folder.
    if (!S_ISREG(existing.st_mode))
        return false;
    // Opening for writing also refuses a file we may not modify. Nothing is written through it;
    // it keeps other Pelmora processes out until the new file is in place.
    return lock.Open(target, CFile::modeWrite | CFile::shareExclusive);
}

bool CNoteBookWriter::CreateTemporary(const std::string& target, const struct stat* existing, CFile& temp)
{
    // Same folder, so that the rename stays on one file system; a name short enough for any.
    std::string pattern = DirectoryOf(target) + "/." + FileNameOf(target).substr(0, 200) + ".XXXXXX";
    const int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (fd < 0)
        return false;
    ::close(fd);
    m_tempPath = pattern;
    if (!temp.Open(m_tempPath, CFile::modeCreate | CFile::modeWrite | CFile::shareExclusive))
        return false;
    const int descriptor = temp.GetDescriptor();
    if (existing) {
        // The owner is kept where we may change it (root saving another user's notebook); the
        // permission bits always.
        if (::fchown(descriptor, existing->st_uid, existing->st_gid) != 0) {
            // Not ours to give away: the file stays our own, as a newly created one would.
        }
        return ::fchmod(descriptor, existing->st_mode & 07777) == 0;
    }
    return ::fchmod(descriptor, NewFileMode()) == 0;
}

TextEncoding CNoteBookWriter::ChooseEncoding() const
{
    if (m_book.GetEncoding() != TextEncoding::windows1252 ||
        !CTextCodec::FitsWindows1252(m_book.GetPassword()))
        return TextEncoding::utf8;
    for (NotePosition pos = m_book.GetNextPosition(0); pos != 0; pos = m_book.GetNextPosition(pos)) {
        const CNote* note = m_book.GetNoteAt(pos);
        if (!CTextCodec::FitsWindows1252(note->GetTitle()) || !CTextCodec::FitsWindows1252(note->GetText()))
            return TextEncoding::utf8;
    }
    return TextEncoding::windows1252;
}

void CNoteBookWriter::WriteContents(CBufferedFile& out, CTextCodec* codec)
{
    CViewSettings view = m_book.GetViewSettings();
    if (INoteBookFrame* frame = m_book.GetMainFrame()) {
        view.m_bWordWrap = frame->GetWordWrap();
        std::memset(&view.m_placement, 0, sizeof view.m_placement);
        frame->GetWindowPlacement(view.m_placement);
        view.m_paneFirst = 0;
        view.m_paneSecond = 0;
        frame->GetPaneShares(view.m_paneFirst, view.m_paneSecond);
        std::memset(&view.m_font, 0, sizeof view.m_font);
        frame->GetTextFont(view.m_font);
    }

    std::string password = m_book.GetPassword();
    if (codec && !codec->Convert(m_book.GetPassword(), password))
        throw CFileException(CFileException::invalidFile, -1);
    const auto count = static_cast<std::uint32_t>(m_book.GetCount());
    const auto passwordLength = static_cast<std::uint32_t>(password.size());
    const std::uint32_t viewFlags = view.m_bWordWrap ? 1 : 0;
    out.Write(&kWrittenVersion, sizeof kWrittenVersion);
    out.Write(&count, sizeof count);
    out.Write(&passwordLength, sizeof passwordLength);
    out.Write(&viewFlags, sizeof viewFlags);
    out.Write(&view.m_placement, sizeof view.m_placement);
    out.Write(&view.m_paneFirst, sizeof view.m_paneFirst);
    out.Write(&view.m_paneSecond, sizeof view.m_paneSecond);
    out.Write(&view.m_font, sizeof view.m_font);

    if (passwordLength > 0) {
        CByteBuffer block;
        if (!block.Allocate(passwordLength + 1))
            throw std::bad_alloc();
        block.Put(password.data(), passwordLength);
        block.Encipher(kNoteBookKey);
        out.Write(block.GetData(), block.GetSize());
    }
    for (NotePosition pos = m_book.GetNextPosition(0); pos != 0; pos = m_book.GetNextPosition(pos))
        m_book.GetNoteAt(pos)->WriteRecord(out, codec);
    out.FlushBuffer();
}

bool CNoteBookWriter::Write(const std::string& path)
{
    const std::string target = ResolveLinks(path);
    CFile lock;
    struct stat existing
    {
    };
    bool exists = false;
    CFile temp;
    if (path.empty() || path.size() > CFilePath::MaxLength() || m_book.GetCount() > UINT32_MAX ||
        !LockTarget(target, lock, existing, exists) ||
        !CreateTemporary(target, exists ? &existing : nullptr, temp)) {
        temp.Abort();
        if (!m_tempPath.empty())
            ::unlink(m_tempPath.c_str());
        AfxMessageBox(kCannotCreate, MB_ICONEXCLAMATION);
        return false;
    }

    const TextEncoding encoding = ChooseEncoding();
    try {
        std::unique_ptr<CTextCodec> codec;
        if (encoding == TextEncoding::windows1252)
            codec = std::make_unique<CTextCodec>(CTextCodec::toWindows1252);
        CBufferedFile out(temp);
        WriteContents(out, codec.get());
        temp.Flush();
        temp.Close();
    } catch (const CFileException&) {
        temp.Abort();
        ::unlink(m_tempPath.c_str());
        AfxMessageBox(kCannotWrite, MB_ICONEXCLAMATION);
        return false;
    }

    if (::rename(m_tempPath.c_str(), target.c_str()) != 0) {
        ::unlink(m_tempPath.c_str());
        AfxMessageBox(kCannotCreate, MB_ICONEXCLAMATION);
        return false;
    }
    SyncDirectory(DirectoryOf(target));
    lock.Abort();

    m_book.SetModifiedFlag(false);
    m_book.GetPath().SetPath(path);
    m_book.SetEncoding(encoding);
    if (INoteBookFrame* frame = m_book.GetMainFrame())
        frame->UpdateTitle();
    return true;
}
