#include "model/CNoteBookReader.h"

#include "model/CBufferedFile.h"
#include "model/CByteBuffer.h"
#include "model/CNoteBook.h"
#include "model/CStoredNotes.h"
#include "model/CTextCodec.h"
#include "model/INoteBookFrame.h"
#include "model/NoteChanges.h"
#include "model/PasswordPrompt.h"
#include "platform/CFile.h"
#include "platform/CMappedFile.h"
#include "platform/MessageBox.h"

#include <cstring>
#include <new>
#include <sys/stat.h>

namespace {

const char* const kCannotOpen = "ERROR: Could not read specified file.";
const char* const kIncompatible = "ERROR: NoteBook version is not compatible with this version of Pelmora.";
const char* const kCannotRead = "ERROR: Could not read file.";
// Notes read whole between two reports of the progress.
constexpr std::uint32_t kNotesPerReport = 1024;

[[noreturn]] void Fail(int cause)
{
    throw CFileException(cause, -1);
}

} // namespace

CNoteBookReader::CNoteBookReader(CNoteBook& book) : m_book(book) {}

bool CNoteBookReader::Open(const std::string& path, CFile& file)
{
    // Others may read the file while it is read, nobody may write it. Only a regular file is a
    // notebook: a FIFO, a device or a socket never ends or never begins.
    struct stat st
    {
    };
    if (path.size() > CFilePath::MaxLength() || !file.Open(path, CFile::modeRead | CFile::shareDenyWrite) ||
        ::fstat(file.GetDescriptor(), &st) != 0 || !S_ISREG(st.st_mode)) {
        file.Abort();
        AfxMessageBox(kCannotOpen, MB_ICONEXCLAMATION);
        return false;
    }
    return true;
}

bool CNoteBookReader::ReadHeader(CBufferedFile& in, Header& header)
{
    // A field cut short by the end of the file keeps its pre-set value for the bytes not read.
    in.Read(&header.version, sizeof header.version);
    if (header.version < 5) {
        AfxMessageBox(kIncompatible, MB_ICONEXCLAMATION);
        return false;
    }
    in.Read(&header.count, sizeof header.count);
    in.Read(&header.passwordLength, sizeof header.passwordLength);
    CViewSettings& view = header.view;
    if (header.version >= 6)
        in.Read(&header.viewFlags, sizeof header.viewFlags);
    if (header.version >= 7)
        in.Read(&view.m_placement, sizeof view.m_placement);
    if (header.version >= 8) {
        in.Read(&view.m_paneFirst, sizeof view.m_paneFirst);
        in.Read(&view.m_paneSecond, sizeof view.m_paneSecond);
    }
    in.Read(&view.m_font, sizeof view.m_font);
    view.m_bWordWrap = (header.viewFlags & 1) != 0;
    return true;
}

void CNoteBookReader::CheckLengths(const Header& header, std::uint64_t remaining)
{
    if (header.passwordLength > 0) {
        const std::uint64_t block = std::uint64_t{header.passwordLength} + 1;
        if (block > remaining)
            Fail(CFileException::invalidFile);
        remaining -= block;
    }
    // Every record present takes at least its serial and length.
    if (header.count > remaining / 8 + kMissingNotesAllowed)
        Fail(CFileException::invalidFile);
}

void CNoteBookReader::AskPassword(CBufferedFile& in, std::uint32_t length)
{
    CByteBuffer block;
    if (!block.Allocate(length + 1))
        throw std::bad_alloc();
    in.Read(block.GetData(), length + 1);
    if (!AskNoteBookPassword(m_frame, "Enter NoteBook password:", m_enteredPassword))
        Fail(CFileException::accessDenied);
    block.Decipher(kNoteBookKey);
    const auto* plain = reinterpret_cast<const char*>(block.GetData());
    m_storedPassword.assign(plain, strnlen(plain, length + 1));
    if (!CTextCodec::IsValidUtf8(m_storedPassword))
        m_windows1252 = true;
}

// Compared as the Windows program does, byte for byte in the notebook's code page.
void CNoteBookReader::CheckPassword()
{
    std::string typed = m_enteredPassword;
    if (m_book.GetEncoding() == TextEncoding::windows1252 &&
        !CTextCodec(CTextCodec::toWindows1252).Convert(m_enteredPassword, typed))
        Fail(CFileException::accessDenied);
    if (typed != m_storedPassword)
        Fail(CFileException::accessDenied);
    m_book.SetPassword(std::move(m_enteredPassword));
}

void CNoteBookReader::ApplyView(const Header& header)
{
    m_book.GetViewSettings() = header.view;
    if (!m_frame)
        return;
    const CViewSettings& view = header.view;
    m_frame->SetBold(view.m_font.lfWeight == kFontWeightBold);
    m_frame->SetNoteFont(CViewSettings::FaceName(view.m_font).c_str());
    m_frame->SetWordWrap(view.m_bWordWrap);
    if (view.m_placement.length != 0)
        m_frame->SetWindowPlacement(view.m_placement);
    if (header.version >= 8)
        m_frame->SetPaneShares(view.m_paneFirst, view.m_paneSecond);
}

// The texts stay in the file, mapped, until they are needed; a file that cannot be mapped is read
// whole.
bool CNoteBookReader::ReadNotes(CFile& file, CBufferedFile& in, std::uint32_t count,
                                const ReadProgress& progress)
{
    // The count was checked against the file's size before.
    m_book.Reserve(count);
    if (std::shared_ptr<CMappedFile> mapped = CMappedFile::Map(file.GetDescriptor())) {
        CStoredNotes notes(*mapped, in.GetPosition());
        m_windows1252 =
            notes.Read(m_book, count, kMissingNotesAllowed, m_book.GetReadTextHashes(), progress) ||
            m_windows1252;
        m_book.SetStoredFile(std::move(mapped));
        return notes.FilledOut();
    }
    ReadAllNotes(in, count, progress);
    return in.GetRemaining() != 0;
}

void CNoteBookReader::ReadAllNotes(CBufferedFile& in, std::uint32_t count, const ReadProgress& progress)
{
    CTextCodec codec(CTextCodec::fromWindows1252);
    for (std::uint32_t i = 0; i < count; ++i) {
        // Past the end every note would come out with its default title; allow only a few.
        if (in.GetRemaining() == 0 && count - i > kMissingNotesAllowed)
            Fail(CFileException::invalidFile);
        CNote* note = m_book.AddNote(true, false);
        note->ReadRecord(in, codec);
        if (note->GetTitleCodePage() == TextEncoding::windows1252 ||
            note->GetTextCodePage() == TextEncoding::windows1252)
            m_windows1252 = true;
        if (progress && (i + 1) % kNotesPerReport == 0 && !progress(i + 1, count))
            throw ReadCancelled();
    }
}

// The notes are read aside while the window paints; it shows the notebook only once they are in.
bool CNoteBookReader::ReadNotesAside(CFile& file, CBufferedFile& in, std::uint32_t count)
{
    bool filledOut = false;
    const auto work = [&](const ReadProgress& progress) { filledOut = ReadNotes(file, in, count, progress); };
    RunRead(m_frame, work);
    // What was worked out from the empty notebook meanwhile is out of date.
    CountNoteChange();
    return filledOut;
}

void CNoteBookReader::Reset()
{
    m_book.Clear();
    m_book.GetViewSettings() = CViewSettings();
    m_book.SetFileVersion(0);
    m_book.SetFilledOut(false);
    m_book.SetEncoding(TextEncoding::utf8);
    m_storedPassword.clear();
    m_enteredPassword.clear();
    m_windows1252 = false;
}

bool CNoteBookReader::Read(const std::string& path)
{
    Reset();
    m_frame = m_book.GetMainFrame();
    CFile file;
    if (!Open(path, file))
        return false;
    try {
        CBufferedFile in(file);
        Header header;
        if (!ReadHeader(in, header))
            return false;
        CheckLengths(header, in.GetRemaining());
        if (header.passwordLength > 0)
            AskPassword(in, header.passwordLength);
        // A header cut short counts too.
        const bool filledOut = ReadNotesAside(file, in, header.count) || in.EndedShort();
        m_book.SetEncoding(m_windows1252 ? TextEncoding::windows1252 : TextEncoding::utf8);
        if (header.passwordLength > 0)
            CheckPassword();
        // Only a notebook that opens changes the window.
        ApplyView(header);
        m_book.SetFileVersion(header.version);
        m_book.SetFilledOut(filledOut);
        m_book.GetPath().SetPath(path);
        if (m_frame)
            m_frame->UpdateTitle();
        file.Close();
        return true;
    } catch (const CFileException&) {
        AfxMessageBox(kCannotRead, MB_ICONEXCLAMATION);
        file.Abort();
        Reset();
        return false;
    } catch (const ReadCancelled&) {
        file.Abort();
        Reset();
        return false;
    }
}

bool CNoteBookReader::PeekHeader(const std::string& path, Header& header)
{
    CFile file;
    if (!Open(path, file))
        return false;
    try {
        CBufferedFile in(file, 4096);
        return ReadHeader(in, header);
    } catch (const CFileException&) {
        AfxMessageBox(kCannotRead, MB_ICONEXCLAMATION);
        return false;
    }
}
