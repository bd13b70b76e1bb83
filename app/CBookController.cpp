#include "app/CBookController.h"

#include "app/CBookMerger.h"
#include "app/CHostWnd.h"
#include "app/CMainFrame.h"
#include "app/CPassphraseDlg.h"
#include "app/CPasswordDlg.h"
#include "app/CRecoveryKeeper.h"
#include "model/CEncryptedFile.h"
#include "model/CNote.h"
#include "model/CNoteBook.h"
#include "model/CNoteBookSecret.h"
#include "model/CNoteBookWriter.h"
#include "model/PasswordPrompt.h"
#include "platform/CAncestorStore.h"
#include "platform/CBackupStore.h"
#include "platform/CConflictCopies.h"
#include "platform/CRecoverySlot.h"
#include "platform/CSecureBytes.h"
#include "platform/MessageBox.h"
#include "platform/PathNames.h"
#include "platform/desktop/CFileAssociation.h"
#include "platform/desktop/CRecentlyUsed.h"
#include "platform/qt/CFileDialog.h"
#include "platform/qt/CSliceProgress.h"
#include "platform/qt/WaitCursor.h"
#include "views/CListCtrlEx.h"
#include "views/CNoteListCtrl.h"
#include "views/CNotePanel.h"

#include <QCoreApplication>
#include <QFile>
#include <QScopedValueRollback>

#include <filesystem>
#include <optional>
#include <sodium.h>
#include <unistd.h>
#include <vector>

namespace {

// What a save writes between two repaints of the window: 20 to 30 ms of short notes, or a few long
// ones.
constexpr std::size_t kNotesPerStep = 16384;
constexpr std::uint64_t kBytesPerStep = 8 << 20;

const char* const kTextsGone =
    "Another program changed the notebook \"%1\" while it was open: the texts of notes not yet read from it "
    "are gone from this window, and it cannot be merged. Saving names those notes first and keeps every "
    "other note and every title.";
const char* const kRecover =
    "Pelmora was closed without saving \"%1\". Recover the unsaved changes?\n\nNo: give "
    "them up. Cancel: decide later; nothing is opened now.";
const char* const kRecoverChanged =
    "Pelmora was closed without saving \"%1\", and the notebook's file was changed since, by another "
    "program or another Pelmora. Open the unsaved changes as a separate notebook, so that both versions "
    "stay?\n\nYes: open them as a new notebook; the file stays as it is. No: give the unsaved changes "
    "up. Cancel: decide later; nothing is opened now.";
const char* const kRecoverMerge = " Merge: open them with the file's changes merged in.";

// The file's name as the questions show it.
std::string ShownName(const std::string& path)
{
    return QFile::decodeName(QByteArray::fromStdString(FileNameOf(path))).toStdString();
}

std::string ShownPath(const std::string& path)
{
    return QFile::decodeName(QByteArray::fromStdString(path)).toStdString();
}

std::string Format(const char* text, const std::string& name)
{
    return QString::fromUtf8(text).arg(QString::fromStdString(name)).toStdString();
}

// A question about the file at path (or so named); true for Yes.
bool AskAbout(const char* question, const std::string& path, unsigned buttons = MB_YESNO)
{
    return AfxMessageBox(Format(question, ShownName(path)), buttons | MB_ICONQUESTION) == IDYES;
}

} // namespace

// Before any notebook, plain, locked or encrypted: its notes must never land in a core file.
CBookController::CBookController(CMainFrame& frame) : m_frame(frame)
{
    ForbidCoreDumps();
    m_recent.ReadList();
}

CBookController::~CBookController() = default;

void CBookController::CreateBook(std::unique_ptr<CRecoverySlot> slot)
{
    m_slot = std::move(slot);
    m_pNoteBook = std::make_unique<CNoteBook>();
    m_pNotePanel = std::make_unique<CNotePanel>(*m_pNoteBook, m_frame);
    m_pNotePanel->Create(m_frame.GetHost());
    m_frame.GetHost()->SetContent(m_pNotePanel.get());
    m_recovery = std::make_unique<CRecoveryKeeper>(m_frame, *m_pNoteBook, *m_pNotePanel, *m_slot);
    m_file.Forget();
    m_mergedCopies.clear();
    m_oldPassphraseOnDisk = false;
    m_frame.UpdateCommandStates();
}

// The panel goes before the notebook it shows. A recovery copy goes with the notebook: closing
// comes after a save or after the user gave the changes up.
void CBookController::Close()
{
    if (m_recovery)
        m_recovery->Discard();
    m_recovery.reset();
    m_pNotePanel.reset();
    m_pNoteBook.reset();
    m_slot.reset();
    m_file.Forget();
    m_mergedCopies.clear();
    m_frame.UpdateTitle();
    m_frame.UpdateCommandStates();
}

bool CBookController::ConfirmDiscard()
{
    if (!IsOpen() || !m_pNoteBook->IsModified())
        return true;
    switch (AfxMessageBox("Do you wish to save your changes?",
                          MB_YESNOCANCEL | MB_ICONQUESTION | MB_DEFBUTTON3)) {
    case IDYES:
    case IDOK:
        return Save();
    case IDNO:
        return true;
    default:
        return false;
    }
}

void CBookController::New()
{
    if (m_pNoteBook) {
        if (!ConfirmDiscard())
            return;
        Close();
    }
    auto slot = std::make_unique<CRecoverySlot>(CRecoverySlot::DefaultFolder());
    slot->TakeUnique({});
    CreateBook(std::move(slot));
}

void CBookController::Open()
{
    if (m_pNoteBook && !ConfirmDiscard())
        return;
    const std::string path = CFileDialog(CFileDialog::Open, &m_frame, tr("Select NoteBook")).DoModal();
    if (path.empty())
        return;
    Close();
    OpenFile(path);
}

std::unique_ptr<CRecoverySlot> CBookController::TakeSlot(const std::string& path)
{
    auto slot = std::make_unique<CRecoverySlot>(CRecoverySlot::DefaultFolder());
    if (slot->TakeForPath(path) != CRecoverySlot::Result::HeldElsewhere)
        return slot;
    if (!AskAbout("The notebook \"%1\" is already open in another Pelmora window. What is saved in one "
                  "window can overwrite what is saved in the other. Open it anyway?",
                  path, MB_YESNO | MB_DEFBUTTON2))
        return nullptr;
    // Its copies must not mix with the other window's.
    slot->TakeUnique(path);
    return slot;
}

// Reads with the status line and the wait cursor; false when the reader said why not.
bool CBookController::ReadInto(const std::string& path)
{
    m_frame.ShowBusyMessage(tr("Reading NoteBook..."));
    m_file.BeginRead(path);
    bool read = false;
    {
        WaitCursor wait;
        read = m_pNoteBook->ReadFile(path);
    }
    if (read) {
        m_pNotePanel->ReloadNoteList();
        // The keys go to the list first, so the notebook can be used from the keyboard at once.
        m_pNotePanel->GetListPane()->GetListCtrl()->setFocus(Qt::OtherFocusReason);
    }
    m_frame.SetMessageText(tr("Ready"));
    return read;
}

void CBookController::UpdateRecoveryBase()
{
    if (m_recovery)
        m_recovery->SetBase(m_file.BaseSource());
}

bool CBookController::ConfirmPlainUnderEncryptedName(const std::string& path)
{
    if (!CEncryptedFile::HasEncryptedName(path) || CEncryptedFile::HasMagic(path) ||
        CEncryptedFile::IsCutShort(path) || ::access(path.c_str(), R_OK) != 0)
        return true;
    return AskAbout("\"%1\" is named as an encrypted notebook but is not encrypted: anyone who gets the file "
                    "can read it. Open it anyway? Saving it will encrypt it (a passphrase is asked), or "
                    "Save As keeps it plain under a .pelm name.",
                    path, MB_YESNO | MB_DEFBUTTON2);
}

void CBookController::OpenFile(const std::string& path)
{
    if (!ConfirmPlainUnderEncryptedName(path))
        return;
    std::unique_ptr<CRecoverySlot> slot = TakeSlot(path);
    if (!slot)
        return;
    if (const std::string copy = slot->FindCopy(); !copy.empty()) {
        LeftCopy left{std::move(slot), copy, path, {}};
        left.base = left.slot->ReadBase();
        const RecoveryChoice choice = AskRecovery(left);
        if (ApplyRecovery(left, choice) || choice == RecoveryChoice::Later)
            return;
        slot = std::move(left.slot);
    }
    CreateBook(std::move(slot));
    if (!ReadInto(path)) {
        Close();
        m_frame.UpdateCommandStates();
        return;
    }
    m_file.Read(path, *m_pNoteBook);
    UpdateRecoveryBase();
    Remember(path);
    m_frame.UpdateCommandStates();
    OfferConflictCopies(path);
}

void CBookController::OpenDropped(const std::string& path)
{
    if (m_pNoteBook && !ConfirmDiscard())
        return;
    Close();
    OpenFile(path);
}

// The recovered notes are the notebook at its own path (none for one never saved), with changes,
// and the file they were based on is what Save compares with.
void CBookController::OpenRecovered(std::unique_ptr<CRecoverySlot> slot, const std::string& copy,
                                    const std::string& path, const CFileIdentity& base)
{
    CreateBook(std::move(slot));
    if (!ReadInto(copy)) {
        Close();
        return;
    }
    m_pNoteBook->GetPath().Clear();
    if (!path.empty())
        m_pNoteBook->GetPath().SetPath(path);
    m_pNoteBook->SetModified();
    m_recovery->AdoptCopy();
    if (path.empty())
        m_file.Forget();
    else
        m_file.Recovered(path, base);
    UpdateRecoveryBase();
    m_frame.UpdateTitle();
    m_frame.UpdateCommandStates();
}

// Whether the notebook's file no longer holds the bytes the changes in the copy began from. A copy
// from before the file was recorded beside it goes by the times.
bool CBookController::ChangedSince(const LeftCopy& left)
{
    if (left.path.empty())
        return false;
    if (left.base.Exists())
        return !CNoteBookFile::StillHolds(left.path, left.base);
    const CFileIdentity now = CFileIdentity::Of(left.path);
    return now.Exists() && !IsNewer(CFileIdentity::Of(left.copy), now);
}

CBookController::RecoveryChoice CBookController::AskRecovery(const LeftCopy& left)
{
    const std::string shown = left.path.empty() ? "Untitled" : left.path;
    // Escape or the close box keeps the copy: only No gives the changes up.
    if (!ChangedSince(left)) {
        switch (AfxMessageBox(Format(kRecover, ShownName(shown)), MB_YESNOCANCEL | MB_ICONQUESTION)) {
        case IDYES:
            return RecoveryChoice::Recover;
        case IDNO:
            return RecoveryChoice::GiveUp;
        default:
            return RecoveryChoice::Later;
        }
    }
    // A file that is gone has nothing to merge.
    const bool canMerge = CFileIdentity::Of(left.path).Exists();
    const std::string question = std::string(kRecoverChanged) + (canMerge ? kRecoverMerge : "");
    switch (AfxMessageBox(Format(question.c_str(), ShownName(shown)),
                          MB_YESNOCANCEL | MB_ICONQUESTION | MB_DEFBUTTON3 | (canMerge ? MB_MERGE : 0u))) {
    case IDMERGE:
        return RecoveryChoice::Merge;
    case IDYES:
        return RecoveryChoice::OpenSeparately;
    case IDNO:
        return RecoveryChoice::GiveUp;
    default:
        return RecoveryChoice::Later;
    }
}

bool CBookController::ApplyRecovery(LeftCopy& left, RecoveryChoice choice)
{
    switch (choice) {
    case RecoveryChoice::Recover:
        OpenRecovered(std::move(left.slot), left.copy, left.path, left.base);
        return true;
    case RecoveryChoice::Merge: {
        // Only the very version the changes began from is their ancestor; any other could take a
        // note of theirs as deleted, so without it every note of both stays.
        const std::string ancestor = CNoteBookFile::FindVersion(
            left.path, left.base, CAncestorStore::DefaultFolder(), CBackupStore::DefaultFolder());
        OpenRecovered(std::move(left.slot), left.copy, left.path, left.base);
        if (IsOpen())
            MergeDiskAgainst(ancestor);
        return true;
    }
    case RecoveryChoice::OpenSeparately: {
        // A notebook of its own, whose copies never mix with the file's.
        auto own = std::make_unique<CRecoverySlot>(CRecoverySlot::DefaultFolder());
        if (own->TakeUnique({}) == CRecoverySlot::Result::Taken && left.slot->MoveCopyTo(*own)) {
            const std::string copy = own->FindCopy();
            OpenRecovered(std::move(own), copy, {}, {});
        } else {
            OpenRecovered(std::move(left.slot), left.copy, {}, {});
        }
        return true;
    }
    case RecoveryChoice::GiveUp:
        left.slot->RemoveCopy();
        return false;
    case RecoveryChoice::Later:
        return false;
    }
    return false;
}

void CBookController::OfferLeftBehind()
{
    const std::string folder = CRecoverySlot::DefaultFolder();
    for (const CRecoverySlot::LeftBehind& found : CRecoverySlot::FindLeftBehind(folder)) {
        LeftCopy left{std::make_unique<CRecoverySlot>(folder), found.copyPath, found.notebookPath,
                      found.base};
        if (left.slot->TakeLeftBehind(found) != CRecoverySlot::Result::Taken)
            continue;
        if (ApplyRecovery(left, AskRecovery(left)))
            return;
    }
}

template <typename Answer>
Answer CBookController::AskAside(bool slow, const QString& text, const std::function<Answer()>& ask)
{
    if (!slow)
        return ask();
    Answer answer{};
    CSliceProgress::RunToEnd(&m_frame, text, [&] { answer = ask(); });
    return answer;
}

bool CBookController::ChangedOnDisk()
{
    return AskAside<bool>(m_file.MustReadToTell(), tr("Reading NoteBook..."),
                          [this] { return m_file.ChangedOnDisk(); });
}

bool CBookController::TakeNewChange()
{
    return AskAside<bool>(m_file.MustReadToTell(), tr("Reading NoteBook..."),
                          [this] { return m_file.TakeNewChange(); });
}

bool CBookController::Save()
{
    if (!m_pNoteBook->GetPath().HasPath())
        return SaveAs();
    const std::string path = m_pNoteBook->GetPath().GetPath();
    // Opened plain under an encrypted name: encrypted now, or kept plain under another name.
    if (CEncryptedFile::HasEncryptedName(path) && !m_pNoteBook->GetSecret() && !ChooseEncryption(path))
        return SaveAs();
    if (ChangedOnDisk()) {
        switch (AfxMessageBox(Format("The notebook \"%1\" was changed by another program since you opened or "
                                     "saved it. Save your version over it?",
                                     ShownName(path)),
                              MB_YESNOCANCEL | MB_ICONQUESTION | MB_DEFBUTTON3 | MB_MERGE)) {
        case IDYES:
            break;
        case IDNO:
            return SaveAs();
        case IDMERGE:
            // The merge is shown for the user to look at; it is saved when they say so.
            MergeFromDisk();
            return false;
        default:
            return false;
        }
    }
    return Write(path);
}

bool CBookController::SaveAs()
{
    const std::string path = CFileDialog(CFileDialog::Save, &m_frame).DoModal();
    if (path.empty())
        return false;
    const std::shared_ptr<const CNoteBookSecret> before = m_pNoteBook->GetSecret();
    if (!ChooseEncryption(path))
        return false;
    if (Write(path))
        return true;
    m_pNoteBook->SetSecret(before);
    return false;
}

// The extension tells the kind.
bool CBookController::ChooseEncryption(const std::string& path)
{
    const bool encrypt = CEncryptedFile::HasEncryptedName(path);
    if (encrypt == (m_pNoteBook->GetSecret() != nullptr))
        return true;
    if (!encrypt) {
        if (!AskAbout(
                "\"%1\" will be saved without encryption: anyone who gets the file can read it. Save it so?",
                path, MB_YESNO | MB_DEFBUTTON2))
            return false;
        m_pNoteBook->SetSecret(nullptr);
        return true;
    }
    CSecureBytes passphrase;
    if (!CPassphraseDlg::AskNew(&m_frame, passphrase))
        return false;
    std::shared_ptr<const CNoteBookSecret> secret =
        MakeSecret(std::move(passphrase), tr("Saving NoteBook..."));
    if (!secret) {
        AfxMessageBox("ERROR: Could not write file.", MB_ICONEXCLAMATION);
        return false;
    }
    m_pNoteBook->SetSecret(std::move(secret));
    return true;
}

std::shared_ptr<const CNoteBookSecret> CBookController::MakeSecret(CSecureBytes passphrase,
                                                                   const QString& text)
{
    WaitCursor wait;
    std::shared_ptr<const CNoteBookSecret> secret;
    CSliceProgress::RunToEnd(&m_frame, text,
                             [&] { secret = CNoteBookSecret::Create(std::move(passphrase)); });
    return secret;
}

void CBookController::ChangePassphrase()
{
    if (!IsOpen() || !m_pNoteBook->GetSecret())
        return;
    std::string entered;
    if (!AskNoteBookPassphrase(&m_frame, "Enter the current passphrase of the encrypted notebook:", entered))
        return;
    const CSecureBytes current(entered);
    sodium_memzero(entered.data(), entered.size());
    const std::string_view known = m_pNoteBook->GetSecret()->GetPassphrase().View();
    if (current.Size() != known.size() ||
        sodium_memcmp(current.View().data(), known.data(), known.size()) != 0) {
        AfxMessageBox("ERROR: That is not the notebook's passphrase; it stays as it was.",
                      MB_ICONEXCLAMATION);
        return;
    }
    CSecureBytes passphrase;
    if (!CPassphraseDlg::AskNew(&m_frame, passphrase))
        return;
    if (std::shared_ptr<const CNoteBookSecret> secret =
            MakeSecret(std::move(passphrase), tr("Changing the passphrase..."))) {
        const bool hadCopy = !m_slot->FindCopy().empty();
        m_pNoteBook->SetSecret(std::move(secret));
        // Not on disk until saved: the notebook counts as changed.
        m_pNoteBook->SetModified();
        m_frame.UpdateCommandStates();
        // The copy under the new key replaces the one under the old in one step: no moment
        // passes without a copy of the changes on disk.
        const bool copied = m_recovery->Flush();
        ForgetOldPassphrase(hadCopy, copied);
    }
}

void CBookController::ForgetOldPassphrase(bool hadCopy, bool copied)
{
    m_oldPassphraseOnDisk = true;
    std::vector<std::string> removed;
    std::string kept;
    if (m_pNoteBook->GetPath().HasPath()) {
        const std::string path = m_pNoteBook->GetPath().GetPath();
        const std::string folder = CBackupStore::DefaultFolder();
        int backups = 0;
        for (int generation = 1; generation <= CBackupStore::kKept; ++generation)
            backups += ::access(CBackupStore::BackupPath(path, folder, generation).c_str(), F_OK) == 0;
        if (!CBackupStore::RemoveAll(path, folder))
            kept = " The backups in " + folder + " could NOT be removed.";
        else if (backups > 0)
            removed.push_back(std::to_string(backups) + (backups == 1 ? " backup" : " backups"));
    }
    if (hadCopy && copied)
        removed.push_back("the recovery copy");
    if (hadCopy && !copied)
        kept += " The recovery copy under the old passphrase stays until one under the new can be written.";
    const std::string list = removed.empty()       ? std::string("nothing")
                             : removed.size() == 1 ? removed[0]
                                                   : removed[0] + " and " + removed[1];
    AfxMessageBox("The new passphrase takes effect when the notebook is saved; until then its file keeps the "
                  "old one. Removed because the old passphrase opens them: " +
                      list + "." + kept,
                  MB_ICONINFORMATION);
}

bool CBookController::ConfirmCodePage()
{
    const CNote* note = nullptr;
    if (!m_pNoteBook->FindUnstorable(note))
        return true;
    const std::string holder = note ? "The note \"" + note->GetTitle() + "\"" : std::string("The password");
    const std::string question =
        holder + " holds characters that Western (Windows-1252) cannot store.\n\n"
                 "Save the notebook as Unicode (UTF-8)? The Windows program shows the accented letters "
                 "of a UTF-8 notebook wrongly. Choose No to go back without saving.";
    if (AfxMessageBox(question, MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) != IDYES)
        return false;
    m_pNoteBook->ChangeEncoding(TextEncoding::utf8);
    return true;
}

// Stores the open note's typing, then writes the whole notebook; the writer reports failures.
// The recovery copy has done its work once the notebook is on disk.
bool CBookController::Write(const std::string& path)
{
    m_pNotePanel->StoreActiveText();
    if (!ConfirmLostTexts() || !ConfirmCodePage())
        return false;
    m_frame.ShowBusyMessage(tr("Saving NoteBook..."));
    const std::string before = m_pNoteBook->GetPath().GetPath();
    const CFileIdentity found = CFileIdentity::Of(path);
    // A file under the old passphrase is not kept.
    const bool keepBackup = !m_oldPassphraseOnDisk;
    CNoteBookWriter writer(*m_pNoteBook);
    bool written = false;
    bool cancelled = false;
    {
        WaitCursor wait;
        written =
            WriteInSteps(writer, path, keepBackup ? CBackupStore::DefaultFolder() : std::string(), cancelled);
    }
    QString status = cancelled ? tr("Save cancelled: the file was left as it was.") : tr("Ready");
    if (written) {
        m_recovery->Discard();
        m_file.Written(path, *m_pNoteBook);
        UpdateRecoveryBase();
        m_oldPassphraseOnDisk = false;
        if (path != before || !m_slot->IsTaken())
            MoveSlotTo(path);
        Remember(path);
        PutAwayMergedCopies();
        if (found.Exists() && keepBackup && !writer.BackupKept())
            status = tr("Saved, but the previous version could not be kept as a backup.");
    } else if (writer.ReplacedFile()) {
        // In place but not durable: the file holds our bytes, not another program's change.
        m_file.Written(path, *m_pNoteBook);
        UpdateRecoveryBase();
    }
    m_frame.SetMessageText(status);
    m_frame.UpdateCommandStates();
    return written;
}

bool CBookController::WriteInSteps(CNoteBookWriter& writer, const std::string& path,
                                   const std::string& backups, bool& cancelled)
{
    // A plain notebook one step writes is saved as it always was, without a bar. An encrypted one
    // has it from the start: its new key takes as long as a large save.
    std::optional<CSliceProgress> progress;
    const CNoteBookWriter::Aside aside = [&progress](const std::function<bool()>& work) {
        return progress->RunAside([&work](const CSliceProgress::Report&) { return work(); });
    };
    if (m_pNoteBook->GetSecret())
        progress.emplace(&m_frame, tr("Saving NoteBook..."));
    if (!writer.Begin(path, backups, progress ? aside : CNoteBookWriter::Aside()))
        return false;
    bool done = false;
    if (!writer.Step(kNotesPerStep, kBytesPerStep, done))
        return false;
    if (done && !progress)
        return writer.Finish();
    const std::size_t count = m_pNoteBook->GetCount();
    if (!progress)
        progress.emplace(&m_frame, tr("Saving NoteBook..."));
    for (;;) {
        if (!progress->Step(writer.GetWritten(), count)) {
            writer.Cancel();
            cancelled = true;
            return false;
        }
        if (done)
            break;
        if (!writer.Step(kNotesPerStep, kBytesPerStep, done))
            return false;
    }
    // Past the last step there is no going back: the file is made durable aside, the bar still up.
    progress->GetDialog().setCancelButton(nullptr);
    return writer.Finish(aside);
}

// After Save As the notebook's copies and its open mark go with its new path.
void CBookController::MoveSlotTo(const std::string& path)
{
    if (m_slot->TakeForPath(path) == CRecoverySlot::Result::HeldElsewhere)
        m_slot->TakeUnique(path);
}

void CBookController::CheckDisk()
{
    if (!IsOpen() || m_checkingDisk || m_busy || CSliceProgress::IsRunning() ||
        !m_pNoteBook->GetPath().HasPath())
        return;
    const std::string path = m_pNoteBook->GetPath().GetPath();
    if (!TakeNewChange())
        return;
    m_checkingDisk = true;
    const bool gone = TellTextsGone();
    m_checkingDisk = false;
    if (gone && m_pNoteBook->IsModified())
        return;
    if (m_pNoteBook->IsModified()) {
        m_frame.SetMessageText(tr("The notebook was changed by another program. Save will ask before "
                                  "writing over it."));
        m_checkingDisk = true;
        const int answer = AfxMessageBox(
            Format("The notebook \"%1\" was changed by another program, and your changes are not saved. "
                   "Merge its changes into yours?",
                   ShownName(path)),
            MB_OK | MB_ICONQUESTION | MB_MERGE);
        m_checkingDisk = false;
        if (answer == IDMERGE)
            MergeFromDisk();
        return;
    }
    m_checkingDisk = true;
    const bool reload = AskAbout("The notebook \"%1\" was changed by another program. Reload it?", path);
    m_checkingDisk = false;
    if (reload) {
        Close();
        OpenFile(path);
    }
}

// Said once the texts not yet read are lost: what the window shows then is not the whole notebook.
bool CBookController::TellTextsGone()
{
    if (!m_pNoteBook->FindLostText())
        return false;
    AfxMessageBox(Format(kTextsGone, ShownName(m_pNoteBook->GetPath().GetPath())),
                  MB_OK | MB_ICONEXCLAMATION);
    return true;
}

bool CBookController::ConfirmLostTexts()
{
    const std::vector<const CNote*> lost = m_pNoteBook->FindLostTexts();
    if (lost.empty())
        return true;
    constexpr std::size_t kNamed = 10;
    std::string names;
    for (std::size_t i = 0; i < lost.size() && i < kNamed; ++i)
        names += "\n\"" + lost[i]->GetTitle() + "\"";
    if (lost.size() > kNamed)
        names += "\n... and " + std::to_string(lost.size() - kNamed) + " more";
    const std::string question =
        "Another program changed the notebook's file while it was open. The texts of these notes were not "
        "yet "
        "read from it and are gone from this window:" +
        names +
        "\n\nSave every note, these with empty texts? Every other note and every title is saved as you see "
        "it. No: nothing is saved now.";
    if (AfxMessageBox(question, MB_YESNO | MB_ICONQUESTION) != IDYES)
        return false;
    m_pNoteBook->GiveUpLostTexts();
    return true;
}

void CBookController::SetPassword()
{
    if (!m_pNoteBook)
        return;
    CPasswordDlg dialog(&m_frame);
    dialog.m_password = QString::fromStdString(m_pNoteBook->GetPassword());
    if (dialog.Ask(tr("Enter new password for NoteBook:"), true) == IDOK)
        m_pNoteBook->SetPassword(dialog.m_password.toStdString());
}

void CBookController::Remember(const std::string& path)
{
    std::error_code error;
    const std::string absolute = std::filesystem::absolute(path, error).lexically_normal().string();
    if (error)
        return;
    // Another window may have added its own since this one read the list.
    m_recent.ReadList();
    m_recent.Add(absolute);
    m_recent.WriteList();
    CRecentlyUsed::Add(absolute, CEncryptedFile::HasEncryptedName(absolute)
                                     ? CFileAssociation::kEncryptedMimeType
                                     : CFileAssociation::kMimeType);
    m_frame.UpdateRecentMenu();
}

// A notebook that is no longer there leaves the list, and the open one stays open; the reader says
// why any other cannot be opened.
void CBookController::OpenRecent(std::size_t index)
{
    if (index >= m_recent.GetPaths().size())
        return;
    const std::string path = m_recent.GetPaths()[index];
    std::error_code error;
    if (!std::filesystem::exists(path, error) && !error) {
        AfxMessageBox("ERROR: Could not read specified file.\n\"" + ShownPath(path) +
                          "\" is no longer there.",
                      MB_ICONEXCLAMATION);
        m_recent.ReadList();
        m_recent.Remove(path);
        m_recent.WriteList();
        m_frame.UpdateRecentMenu();
        return;
    }
    OpenDropped(path);
}

bool CBookController::MergeFile(const std::string& theirs, const std::string& ancestor,
                                CNoteBookMerge::Ancestor kind)
{
    if (!IsOpen())
        return false;
    if (TellTextsGone())
        return false;
    m_pNotePanel->StoreActiveText();
    m_frame.ShowBusyMessage(tr("Reading NoteBook..."));
    CBookMerger::Outcome outcome;
    {
        const QScopedValueRollback<bool> busy(m_busy, true);
        outcome = CBookMerger::Merge(m_frame, *m_pNoteBook, theirs, ancestor, kind);
    }
    if (!outcome.merged) {
        m_frame.SetMessageText(outcome.cancelled
                                   ? tr("Merge cancelled: the notebook and the file were left as they were.")
                                   : tr("Ready"));
        return false;
    }
    AdoptMerged(std::move(outcome.merged));
    m_frame.SetMessageText(tr("Merged %1 changes from disk; %2 notes changed on both sides were kept twice.")
                               .arg(outcome.result.changes)
                               .arg(outcome.result.conflicts));
    return true;
}

bool CBookController::MergeFromDisk()
{
    if (!IsOpen())
        return false;
    return MergeDiskAgainst(AskAside<std::string>(m_file.IsCopying(), tr("Merging NoteBook..."),
                                                  [this] { return m_file.GetKeptPath(); }));
}

bool CBookController::MergeDiskAgainst(const std::string& ancestor)
{
    if (!IsOpen() || !m_pNoteBook->GetPath().HasPath())
        return false;
    const std::string path = m_pNoteBook->GetPath().GetPath();
    // The version merged is the one kept: the file may change again while it is read.
    CNoteBookFile::Snapshot disk = m_file.TakeSnapshot(path);
    const std::string kept = AskAside<std::string>(disk.kept->IsCopying(), tr("Merging NoteBook..."),
                                                   [&disk] { return disk.kept->GetPath(); });
    if (!MergeFile(kept.empty() ? path : kept, ancestor))
        return false;
    m_file.Adopt(std::move(disk));
    UpdateRecoveryBase();
    return true;
}

// The panel goes first and comes back for the merged notebook, with the split as it was.
void CBookController::AdoptMerged(std::unique_ptr<CNoteBook> merged)
{
    std::int32_t first = 0;
    std::int32_t second = 0;
    m_frame.GetPaneShares(first, second);
    m_recovery.reset();
    m_pNotePanel.reset();
    m_pNoteBook = std::move(merged);
    m_pNotePanel = std::make_unique<CNotePanel>(*m_pNoteBook, m_frame);
    m_pNotePanel->Create(m_frame.GetHost());
    m_frame.GetHost()->SetContent(m_pNotePanel.get());
    m_frame.SetPaneShares(first, second);
    m_recovery = std::make_unique<CRecoveryKeeper>(m_frame, *m_pNoteBook, *m_pNotePanel, *m_slot);
    UpdateRecoveryBase();
    m_pNoteBook->SetModified();
    m_pNotePanel->ReloadNoteList();
    m_frame.UpdateTitle();
    m_frame.UpdateCommandStates();
}

void CBookController::OfferConflictCopies(const std::string& path)
{
    for (const std::string& copy : CConflictCopies::Find(path)) {
        if (!IsOpen() ||
            !AskAbout(
                "A sync tool left \"%1\" beside this notebook: a copy that was changed at the same time. "
                "Merge it into the notebook? Once the notebook is saved, the copy moves to the backups.",
                copy))
            continue;
        // The backup is chosen by its time: the copy may not have grown from it.
        const std::string ancestor = CConflictCopies::CommonBackup(path, copy, CBackupStore::DefaultFolder());
        if (MergeFile(copy, ancestor, CNoteBookMerge::Ancestor::guessed))
            m_mergedCopies.push_back(copy);
    }
}

void CBookController::PutAwayMergedCopies()
{
    for (const std::string& copy : m_mergedCopies)
        CConflictCopies::PutAway(copy, CBackupStore::DefaultFolder());
    m_mergedCopies.clear();
}
