#include "model/CNoteBookWriter.h"

#include "model/CBufferedFile.h"
#include "model/CByteBuffer.h"
#include "model/CEncryptedFile.h"
#include "model/CFileOrder.h"
#include "model/CNoteBook.h"
#include "model/CNoteBookSecret.h"
#include "model/INoteBookFrame.h"
#include "platform/CBackupStore.h"
#include "platform/CFile.h"
#include "platform/CSafeSave.h"
#include "platform/CSaveFaults.h"
#include "platform/MessageBox.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <new>
#include <sys/stat.h>

namespace {

const char* const kCannotCreate = "ERROR: Could not create/modify specified file.";
const char* const kCannotWrite = "ERROR: Could not write file.";
const char* const kTextsLost = "Another program changed the notebook's file while it was open. The texts of "
                               "notes not yet read from it are gone, and a save would leave them out.\n"
                               "Reopen the notebook, or copy what you changed to another notebook first.";

constexpr std::uint32_t kWrittenVersion = 10;

} // namespace

CNoteBookWriter::CNoteBookWriter(CNoteBook& book) : m_book(book) {}

bool CNoteBookWriter::LockTarget(const std::string& target, CFile& lock, CFileException& error)
{
    struct stat existing
    {
    };
    if (::stat(target.c_str(), &existing) != 0) {
        error.m_lOsError = errno;
        return errno == ENOENT;
    }
    // Opening for writing also refuses a file we may not modify. Nothing is written through it;
    // it keeps other Pelmora processes out until the new file is in place.
    if (!S_ISREG(existing.st_mode)) {
        error.m_lOsError = S_ISDIR(existing.st_mode) ? EISDIR : EINVAL;
        return false;
    }
    return lock.Open(target, CFile::modeWrite | CFile::shareExclusive, &error);
}

void CNoteBookWriter::WriteHeader(CBufferedFile& out, CTextCodec& toWindows1252)
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
    if (m_book.GetEncoding() == TextEncoding::windows1252 &&
        !toWindows1252.Convert(m_book.GetPassword(), password))
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
}

void CNoteBookWriter::WriteNote(CBufferedFile& out, const CNote& note, CTextCodec& toWindows1252)
{
    note.WriteRecord(out, m_book.CodePageFor(note.GetTitleCodePage()),
                     m_book.CodePageFor(note.GetTextCodePage()), toWindows1252);
}

void CNoteBookWriter::WriteContents(CBufferedFile& out, CTextCodec& toWindows1252)
{
    WriteHeader(out, toWindows1252);
    const CWholeMapping whole = CFileOrder::MappedForPass(m_book);
    for (std::size_t i = 0; i < m_book.GetCount(); ++i)
        WriteNote(out, *m_book.GetNoteAtIndex(i), toWindows1252);
    out.FlushBuffer();
}

void CNoteBookWriter::WriteSealed(CFile& out, CTextCodec& toWindows1252, const CSealKey& key)
{
    CFile plain;
    if (!plain.OpenInMemory("notebook"))
        throw CFileException(CFileException::genericException);
    CBufferedFile buffered(plain);
    WriteContents(buffered, toWindows1252);
    plain.SeekToBegin();
    CEncryptedFile::Seal(plain, out, key);
}

// The first line is the one the Windows program shows; the second says why, where the system said.
void CNoteBookWriter::Report(const char* message, long osError)
{
    const std::string reason = CFileException::Reason(osError);
    AfxMessageBox(reason.empty() ? std::string(message) : std::string(message) + "\n" + reason,
                  MB_ICONEXCLAMATION);
}

void CNoteBookWriter::ReportLostTexts()
{
    AfxMessageBox(std::string(kCannotWrite) + "\n" + kTextsLost, MB_ICONEXCLAMATION);
}

bool CNoteBookWriter::Write(const std::string& path, const std::string& backupFolder)
{
    m_backupKept = false;
    m_replaced = false;
    CSafeSave save(path);
    bool setAside = false;
    bool rotated = false;
    bool& replaced = m_replaced;
    const auto rotate = [&](const std::string& target) {
        rotated = true;
        m_backupKept = setAside && CBackupStore::Rotate(target, backupFolder);
    };
    save.AfterReplacing([&](const std::string& target) {
        replaced = true;
        if (!rotated && !backupFolder.empty())
            rotate(target);
    });
    if (!backupFolder.empty())
        save.BeforeReplacing([&](const std::string& target) {
            setAside = CBackupStore::SetAside(target, backupFolder);
            if (CSaveFaults::Has(CSaveFaults::rotateBeforeReplacing))
                rotate(target);
        });
    CFile lock;
    CFileException lockError;
    // A name that says encrypted is never given plain notes.
    if (path.empty() || path.size() > CFilePath::MaxLength() || m_book.GetCount() > UINT32_MAX ||
        (CEncryptedFile::HasEncryptedName(path) && !m_book.GetSecret())) {
        Report(kCannotCreate, -1);
        return false;
    }
    if (m_book.FindLostText()) {
        ReportLostTexts();
        return false;
    }
    if (!LockTarget(save.GetTarget(), lock, lockError)) {
        Report(kCannotCreate, lockError.m_lOsError);
        return false;
    }
    if (!save.Begin()) {
        Report(kCannotCreate, save.GetError());
        return false;
    }

    // Every save of an encrypted notebook has a fresh salt, so a fresh key.
    std::shared_ptr<const CNoteBookSecret> secret;
    if (m_book.GetSecret() && !(secret = m_book.GetSecret()->Renewed())) {
        Report(kCannotWrite, ENOMEM);
        return false;
    }
    bool committed = false;
    try {
        CTextCodec toWindows1252(CTextCodec::toWindows1252);
        if (secret) {
            WriteSealed(save.GetFile(), toWindows1252, secret->GetKey());
        } else {
            CBufferedFile out(save.GetFile());
            WriteContents(out, toWindows1252);
        }
        // Texts copied from a file that changed while they were copied are not the notes.
        if (!m_book.StoredTextsIntact())
            throw CFileException(CFileException::invalidFile, -1);
        committed = save.Commit();
        if (!committed)
            Report(kCannotCreate, save.GetError());
    } catch (const CFileException& error) {
        if (m_book.StoredTextsIntact())
            Report(kCannotWrite, error.m_lOsError);
        else
            ReportLostTexts();
    }
    if (!committed) {
        // Replaced but not made durable: what was set aside is the backup of the file replaced.
        if (setAside && !replaced)
            CBackupStore::DropSetAside(save.GetTarget(), backupFolder);
        return false;
    }
    lock.Abort();
    m_book.RenewStoredFile();

    if (secret)
        m_book.SetSecret(std::move(secret));
    m_book.SetModifiedFlag(false);
    m_book.SetFilledOut(false);
    m_book.GetPath().SetPath(path);
    m_book.SettleCodePages();
    if (INoteBookFrame* frame = m_book.GetMainFrame())
        frame->UpdateTitle();
    return true;
}
