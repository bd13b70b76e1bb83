#include "model/CNoteBookWriter.h"

#include "model/CBufferedFile.h"
#include "model/CByteBuffer.h"
#include "model/CEncryptedFile.h"
#include "model/CNoteBook.h"
#include "model/CNoteBookSecret.h"
#include "model/INoteBookFrame.h"
#include "platform/CFile.h"
#include "platform/CSafeSave.h"
#include "platform/MessageBox.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <sys/stat.h>

namespace {

const char* const kCannotCreate = "ERROR: Could not create/modify specified file.";
const char* const kCannotWrite = "ERROR: Could not write file.";

constexpr std::uint32_t kWrittenVersion = 10;

} // namespace

CNoteBookWriter::CNoteBookWriter(CNoteBook& book) : m_book(book) {}

bool CNoteBookWriter::LockTarget(const std::string& target, CFile& lock)
{
    struct stat existing
    {
    };
    if (::stat(target.c_str(), &existing) != 0)
        return errno == ENOENT;
    // Opening for writing also refuses a file we may not modify. Nothing is written through it;
    // it keeps other Pelmora processes out until the new file is in place.
    return S_ISREG(existing.st_mode) && lock.Open(target, CFile::modeWrite | CFile::shareExclusive);
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

void CNoteBookWriter::WriteHeader(CBufferedFile& out, CTextCodec* codec)
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
}

void CNoteBookWriter::WriteContents(CBufferedFile& out, CTextCodec* codec)
{
    WriteHeader(out, codec);
    for (NotePosition pos = m_book.GetNextPosition(0); pos != 0; pos = m_book.GetNextPosition(pos))
        m_book.GetNoteAt(pos)->WriteRecord(out, codec);
    out.FlushBuffer();
}

void CNoteBookWriter::WriteSealed(CFile& out, CTextCodec* codec, const CSealKey& key)
{
    CFile plain;
    if (!plain.OpenInMemory("notebook"))
        throw CFileException(CFileException::genericException);
    CBufferedFile buffered(plain);
    WriteContents(buffered, codec);
    plain.SeekToBegin();
    CEncryptedFile::Seal(plain, out, key);
}

bool CNoteBookWriter::Write(const std::string& path, const std::string& backupFolder)
{
    CSafeSave save(path);
    save.KeepBackupIn(backupFolder);
    CFile lock;
    if (path.empty() || path.size() > CFilePath::MaxLength() || m_book.GetCount() > UINT32_MAX ||
        !LockTarget(save.GetTarget(), lock) || !save.Begin()) {
        AfxMessageBox(kCannotCreate, MB_ICONEXCLAMATION);
        return false;
    }

    // Every save of an encrypted notebook has a fresh salt, so a fresh key.
    std::shared_ptr<const CNoteBookSecret> secret;
    if (m_book.GetSecret() && !(secret = m_book.GetSecret()->Renewed())) {
        AfxMessageBox(kCannotWrite, MB_ICONEXCLAMATION);
        return false;
    }
    const TextEncoding encoding = ChooseEncoding();
    try {
        std::unique_ptr<CTextCodec> codec;
        if (encoding == TextEncoding::windows1252)
            codec = std::make_unique<CTextCodec>(CTextCodec::toWindows1252);
        if (secret) {
            WriteSealed(save.GetFile(), codec.get(), secret->GetKey());
        } else {
            CBufferedFile out(save.GetFile());
            WriteContents(out, codec.get());
        }
        if (!save.Commit()) {
            AfxMessageBox(kCannotCreate, MB_ICONEXCLAMATION);
            return false;
        }
    } catch (const CFileException&) {
        AfxMessageBox(kCannotWrite, MB_ICONEXCLAMATION);
        return false;
    }
    lock.Abort();

    if (secret)
        m_book.SetSecret(std::move(secret));
    m_book.SetModifiedFlag(false);
    m_book.GetPath().SetPath(path);
    m_book.SetEncoding(encoding);
    if (INoteBookFrame* frame = m_book.GetMainFrame())
        frame->UpdateTitle();
    return true;
}
