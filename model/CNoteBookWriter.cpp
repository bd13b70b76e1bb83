#include "model/CNoteBookWriter.h"

#include "model/CBufferedFile.h"
#include "model/CByteBuffer.h"
#include "model/CEncryptedFile.h"
#include "model/CFileOrder.h"
#include "model/CNoteBook.h"
#include "model/CNoteBookSecret.h"
#include "model/CStoredBodies.h"
#include "model/INoteBookFrame.h"
#include "platform/CBackupStore.h"
#include "platform/CFile.h"
#include "platform/CMappedFile.h"
#include "platform/CSafeSave.h"
#include "platform/CSaveFaults.h"
#include "platform/MessageBox.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <new>
#include <optional>
#include <sys/stat.h>
#include <vector>

namespace {

const char* const kCannotCreate = "ERROR: Could not create/modify specified file.";
const char* const kCannotWrite = "ERROR: Could not write file.";
const char* const kTextsLost = "Another program changed the notebook's file while it was open. The texts of "
                               "notes not yet read from it are gone, and a save would leave them out.\n"
                               "Reopen the notebook, or copy what you changed to another notebook first.";

constexpr std::uint32_t kWrittenVersion = 10;
constexpr std::uint64_t kNotPlaced = UINT64_MAX;
constexpr std::size_t kRunInOrder = 1 << 20;
constexpr std::size_t kRunOutOfOrder = 32 << 20;
constexpr std::uint64_t kMappedWholeUpTo = 256 << 20;

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

// A save under way: the new file, the lock on the target and what has been written.
class CNoteBookWriter::CSaving
{
public:
    CSaving(const std::string& path, std::string backupFolder)
        : path(path), save(path), backupFolder(std::move(backupFolder)),
          toWindows1252(CTextCodec::toWindows1252)
    {
    }

    const std::string path;
    CSafeSave save;
    const std::string backupFolder;
    CFile lock;
    // Every save of an encrypted notebook has a fresh salt, so a fresh key.
    std::shared_ptr<const CNoteBookSecret> secret;
    // An encrypted notebook's contents go to memory first and reach the file only sealed.
    CFile plain;
    std::optional<CBufferedFile> out;
    // The bodies a run copies, read beforehand; none while the file is mapped whole.
    std::optional<CStoredBodies> bodies;
    std::optional<CWholeMapping> whole;
    // Saved as another file, plain: the texts still in the old one are read from the new one after.
    bool repoint = false;
    // Where each note's record body went in the new file, when it went as it stood in the file its
    // text is still in; kNotPlaced otherwise.
    std::vector<std::uint64_t> placed;
    // Those written anew, from a text still in a file: list place and where the text went.
    std::vector<std::pair<std::size_t, TextInFile>> placedAnew;
    std::size_t placedCount = 0;
    std::shared_ptr<CMappedFile> newFile;
    CTextCodec toWindows1252;
    std::size_t written = 0;
    bool setAside = false;
    bool rotated = false;
};

CNoteBookWriter::~CNoteBookWriter() = default;

bool CNoteBookWriter::Write(const std::string& path, const std::string& backupFolder)
{
    if (!Begin(path, backupFolder))
        return false;
    bool done = false;
    while (!done)
        if (!Step(SIZE_MAX, UINT64_MAX, done))
            return false;
    return Finish();
}

bool CNoteBookWriter::Begin(const std::string& path, const std::string& backupFolder, const Aside& aside)
{
    m_backupKept = false;
    m_replaced = false;
    m_saving = std::make_unique<CSaving>(path, backupFolder);
    CSaving& saving = *m_saving;
    const auto rotate = [this, &saving](const std::string& target) {
        saving.rotated = true;
        m_backupKept = saving.setAside && CBackupStore::Rotate(target, saving.backupFolder);
    };
    saving.save.AfterReplacing([this, &saving, rotate](const std::string& target) {
        m_replaced = true;
        if (!saving.rotated && !saving.backupFolder.empty())
            rotate(target);
    });
    if (!backupFolder.empty())
        saving.save.BeforeReplacing([&saving, rotate](const std::string& target) {
            saving.setAside = CBackupStore::SetAside(target, saving.backupFolder);
            if (CSaveFaults::Has(CSaveFaults::rotateBeforeReplacing))
                rotate(target);
        });
    if (Open(aside))
        return true;
    m_saving.reset();
    return false;
}

bool CNoteBookWriter::Open(const Aside& aside)
{
    CSaving& saving = *m_saving;
    const std::string& path = saving.path;
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
    if (!LockTarget(saving.save.GetTarget(), saving.lock, lockError)) {
        Report(kCannotCreate, lockError.m_lOsError);
        return false;
    }
    if (!saving.save.Begin()) {
        Report(kCannotCreate, saving.save.GetError());
        return false;
    }
    const auto renew = [this, &saving] { return (saving.secret = m_book.GetSecret()->Renewed()) != nullptr; };
    if (m_book.GetSecret() && !(aside ? aside(renew) : renew())) {
        Report(kCannotWrite, ENOMEM);
        return false;
    }
    try {
        if (saving.secret && !saving.plain.OpenInMemory("notebook"))
            throw CFileException(CFileException::genericException);
        saving.out.emplace(saving.secret ? saving.plain : saving.save.GetFile());
        // A list in the file's order reads runs that stay in the processor's cache. After a sort a
        // small file is mapped whole, which costs less than a read for each text; a larger one is
        // read in longer runs, which visit the file in fewer, nearer jumps, and is never all
        // resident.
        const bool inOrder = CFileOrder::LooksInOrder(m_book);
        const std::shared_ptr<const CMappedFile> stored = m_book.GetStoredFile();
        if (!inOrder && stored && stored->GetSize() <= kMappedWholeUpTo)
            saving.whole.emplace(CFileOrder::MappedForPass(m_book));
        else
            saving.bodies.emplace(inOrder ? kRunInOrder : kRunOutOfOrder);
        // A save over the notebook's own file leaves its texts in the file replaced, which no
        // other program finds under the notebook's name any more.
        saving.repoint = !saving.secret && saving.path != m_book.GetPath().GetPath();
        saving.placed.assign(saving.repoint ? m_book.GetCount() : 0, kNotPlaced);
        WriteHeader(*saving.out, saving.toWindows1252);
    } catch (const CFileException& error) {
        return Fail(error);
    }
    return true;
}

bool CNoteBookWriter::Step(std::size_t count, std::uint64_t bytes, bool& done)
{
    CSaving& saving = *m_saving;
    try {
        const std::size_t end = saving.written + std::min(count, m_book.GetCount() - saving.written);
        const std::uint64_t from = saving.out->GetWritePosition();
        // Runs end at a note, or at the bytes a run of bodies holds, so that long notes end a step.
        while (saving.written < end && saving.out->GetWritePosition() - from < bytes)
            WriteRun(saving.bodies ? saving.bodies->Read(m_book, saving.written, end) : saving.written + 1);
        done = saving.written == m_book.GetCount();
        if (done)
            saving.out->FlushBuffer();
    } catch (const CFileException& error) {
        return Fail(error);
    }
    return true;
}

// Notes whose records stand in the file as they go are copied from the bodies read for the run.
void CNoteBookWriter::WriteRun(std::size_t end)
{
    CSaving& saving = *m_saving;
    // A copy that came up short marked the file changed: nothing may stand in a text's place.
    if (saving.bodies && !saving.bodies->FilesIntact())
        throw CFileException(CFileException::invalidFile, -1);
    for (; saving.written < end; ++saving.written) {
        const CNote& note = *m_book.GetNoteAtIndex(saving.written);
        // After the record's serial and length.
        const std::uint64_t body = saving.out->GetWritePosition() + 8;
        if (const std::uint8_t* stored = saving.bodies ? saving.bodies->Find(saving.written) : nullptr) {
            note.WriteStoredRecord(*saving.out, stored);
        } else {
            WriteNote(*saving.out, note, saving.toWindows1252);
            if (!note.HasStoredText() || !saving.repoint)
                continue;
            if (!note.CopiesStored(m_book.CodePageFor(note.GetTitleCodePage()),
                                   m_book.CodePageFor(note.GetTextCodePage()))) {
                saving.placedAnew.emplace_back(saving.written, PlacedAnew(note, body));
                continue;
            }
        }
        if (saving.repoint) {
            saving.placed[saving.written] = body;
            ++saving.placedCount;
        }
    }
}

std::size_t CNoteBookWriter::GetWritten() const
{
    return m_saving ? m_saving->written : 0;
}

void CNoteBookWriter::Cancel()
{
    m_saving.reset();
}

bool CNoteBookWriter::Fail(const CFileException& error)
{
    if (m_book.StoredTextsIntact())
        Report(kCannotWrite, error.m_lOsError);
    else
        ReportLostTexts();
    m_saving.reset();
    return false;
}

bool CNoteBookWriter::Commit(const Aside& aside)
{
    CSaving& saving = *m_saving;
    saving.whole.reset();
    const auto fileWork = [&aside](const std::function<bool()>& work) {
        return aside ? aside(work) : work();
    };
    try {
        if (saving.secret)
            fileWork([&saving] {
                saving.plain.SeekToBegin();
                CEncryptedFile::Seal(saving.plain, saving.save.GetFile(), saving.secret->GetKey());
                return true;
            });
        // Texts copied from a file that changed while they were copied are not the notes.
        if (!StoredFilesIntact())
            throw CFileException(CFileException::invalidFile, -1);
        // Mapped while it has our descriptor, when a text still in a file went to it; the names it
        // gets after change only its times.
        if (saving.placedCount + saving.placedAnew.size() > 0)
            saving.newFile = CMappedFile::Map(saving.save.GetFile().GetDescriptor());
        if (fileWork([&saving] { return saving.save.Commit(); }))
            return true;
        Report(kCannotCreate, saving.save.GetError());
    } catch (const CFileException& error) {
        if (m_book.StoredTextsIntact())
            Report(kCannotWrite, error.m_lOsError);
        else
            ReportLostTexts();
    }
    // Replaced but not made durable: what was set aside is the backup of the file replaced.
    if (saving.setAside && !m_replaced)
        CBackupStore::DropSetAside(saving.save.GetTarget(), saving.backupFolder);
    return false;
}

// The notebook's own file and any other its texts are in: a merge's sides.
bool CNoteBookWriter::StoredFilesIntact() const
{
    if (!m_book.StoredTextsIntact())
        return false;
    std::vector<const CMappedFile*> asked{m_book.GetStoredFile().get()};
    for (std::size_t i = 0; i < m_book.GetCount(); ++i) {
        const CNote& note = *m_book.GetNoteAtIndex(i);
        if (!note.HasStoredText() || note.GetStoredText().file == asked.back() ||
            std::find(asked.begin(), asked.end(), note.GetStoredText().file) != asked.end())
            continue;
        if (!note.GetStoredText().file->IsIntact())
            return false;
        asked.push_back(note.GetStoredText().file);
    }
    return true;
}

// Where the record just written from a note's text still in a file put that text: the title's
// field, then the text's, each in the code page the notebook gives it, ASCII the same in all.
TextInFile CNoteBookWriter::PlacedAnew(const CNote& note, std::uint64_t body)
{
    CSaving& saving = *m_saving;
    const std::string& title = note.GetTitle();
    const bool asciiTitle = CTextCodec::IsAscii(title);
    const TextEncoding titleCodePage = m_book.CodePageFor(note.GetTitleCodePage());
    std::string converted;
    if (!asciiTitle && titleCodePage == TextEncoding::windows1252)
        saving.toWindows1252.Convert(title, converted);
    const std::size_t titleBytes = converted.empty() ? title.size() : converted.size();
    TextInFile placed = note.GetStoredText();
    placed.body = body;
    placed.bodyLength = static_cast<std::uint32_t>(saving.out->GetWritePosition() - body);
    placed.textPlace = static_cast<std::uint32_t>(4 + titleBytes + 1 + 4);
    placed.textLength = placed.bodyLength - placed.textPlace - 1;
    placed.titleCodePage = asciiTitle ? std::nullopt : std::optional<TextEncoding>(titleCodePage);
    if (placed.codePage)
        placed.codePage = m_book.CodePageFor(note.GetTextCodePage());
    placed.plain = true;
    return placed;
}

// The texts still in a file are read from the one written from now on, where this save put them:
// the old file may then change or go, and its mapping goes.
void CNoteBookWriter::Repoint()
{
    CSaving& saving = *m_saving;
    // No text is in a file any more: what becomes of the old one is nothing to the notebook.
    if (saving.placedCount + saving.placedAnew.size() == 0) {
        m_book.SetStoredFile(nullptr);
        return;
    }
    // A file that could not be mapped leaves the texts where they were.
    if (!saving.newFile)
        return;
    for (std::size_t i = 0; i < m_book.GetCount(); ++i) {
        CNote& note = *m_book.GetNoteAtIndex(i);
        if (!note.HasStoredText())
            continue;
        if (saving.placed[i] == kNotPlaced)
            continue;
        TextInFile stored = note.GetStoredText();
        stored.file = saving.newFile.get();
        stored.body = saving.placed[i];
        note.SetStoredText(stored);
    }
    for (auto& [i, stored] : saving.placedAnew) {
        stored.file = saving.newFile.get();
        m_book.GetNoteAtIndex(i)->SetStoredText(stored);
    }
    saving.newFile->Renew();
    m_book.SetStoredFile(std::move(saving.newFile));
}

bool CNoteBookWriter::Finish(const Aside& aside)
{
    const bool committed = Commit(aside);
    if (committed)
        Settle();
    m_saving.reset();
    return committed;
}

void CNoteBookWriter::Settle()
{
    m_saving->lock.Abort();
    m_book.RenewStoredFile();
    if (m_saving->repoint) {
        Repoint();
        m_book.SweepTextFiles();
    }
    if (m_saving->secret)
        m_book.SetSecret(std::move(m_saving->secret));
    m_book.SetModifiedFlag(false);
    m_book.SetFilledOut(false);
    m_book.GetPath().SetPath(m_saving->path);
    m_book.SettleCodePages();
    if (INoteBookFrame* frame = m_book.GetMainFrame())
        frame->UpdateTitle();
}
