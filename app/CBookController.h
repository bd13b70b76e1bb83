#pragma once

#include "model/CNoteBookMerge.h"
#include "platform/CFileIdentity.h"
#include "platform/CSecureBytes.h"
#include "platform/desktop/CRecentFileList.h"
#include "storage/CNoteBookFile.h"

#include <QObject>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class CMainFrame;
class CNoteBook;
class CNoteBookSecret;
class CNoteBookWriter;
class CNotePanel;
class CRecoveryKeeper;
class CRecoverySlot;

// Coordinates the notebook lifecycle for one main frame: New, Open, Save, Save As, the save
// prompt, closing and the password. It owns the open notebook, the panel that shows it, its place
// in the recovery folder and the keeper of its recovery copy, which are made and dropped together.
// It remembers what the notebook's file was when it was read or saved, so that a change another
// program made is never written over unasked. The frame owns the controller and outlives it.
class CBookController : public QObject
{
    Q_OBJECT

public:
    explicit CBookController(CMainFrame& frame);
    ~CBookController() override;

    CNoteBook* GetNoteBook() const { return m_pNoteBook.get(); }
    CNotePanel* GetNotePanel() const { return m_pNotePanel.get(); }
    CRecoveryKeeper* GetRecoveryKeeper() const { return m_recovery.get(); }
    bool IsOpen() const { return m_pNoteBook && m_pNotePanel; }

    // The Book menu's commands.
    void New();
    void Open();
    bool Save();
    bool SaveAs();
    void SetPassword();
    // Asks for a new passphrase of an encrypted notebook; the next save uses it.
    void ChangePassphrase();

    // Reads the notebook at path into a new notebook and panel; on failure none is open.
    void OpenFile(const std::string& path);
    // Open without the dialog, for a notebook file dropped on the window: the save prompt first.
    void OpenDropped(const std::string& path);
    // The save prompt; false when the user (or a failed save) stops the operation.
    bool ConfirmDiscard();
    void Close();

    // At a start without a notebook: offers the unsaved changes that Pelmoras which ended without
    // saving left behind, one at a time, until one is taken.
    void OfferLeftBehind();
    // The window became active again: a notebook changed on disk is offered for reloading, or for
    // merging when it has unsaved changes.
    void CheckDisk();

    // The notebooks opened or saved last, newest first.
    const std::vector<std::string>& GetRecentPaths() const { return m_recent.GetPaths(); }
    // Opens the recent notebook at index; one that is gone leaves the list.
    void OpenRecent(std::size_t index);
    // Merges the notebook file theirs into the open notebook against the ancestor file, or two-way
    // (every note of both) without one. The result is shown modified and is never saved by itself;
    // the status line counts what came in and what was kept twice. False when a file could not be
    // read: the open notebook is then as it was. With a guessed ancestor no note of ours is taken
    // as deleted there.
    bool MergeFile(const std::string& theirs, const std::string& ancestor,
                   CNoteBookMerge::Ancestor kind = CNoteBookMerge::Ancestor::exact);
    // Merges what another program saved over the open notebook's file, against the version last
    // read or saved, which the merged version then replaces as the ancestor.
    bool MergeFromDisk();
    // Tells the user when another program took texts not yet read from under the notebook.
    bool TellTextsGone();
    // Before a write: where texts are gone, names their notes and, when the user agrees, lets them
    // be written with empty texts; false when the user goes back.
    bool ConfirmLostTexts();

private:
    // What the user does with unsaved changes that a Pelmora which ended without saving left in a
    // recovery copy; Merge takes in the changes of a notebook file changed since.
    enum class RecoveryChoice
    {
        Recover,
        Merge,
        OpenSeparately,
        GiveUp,
        Later
    };
    struct LeftCopy
    {
        std::unique_ptr<CRecoverySlot> slot;
        std::string copy;
        std::string path;
        CFileIdentity base;
    };
    static bool ChangedSince(const LeftCopy& left);
    static RecoveryChoice AskRecovery(const LeftCopy& left);
    // Carries the answer out; true when a notebook was opened from the copy.
    bool ApplyRecovery(LeftCopy& left, RecoveryChoice choice);
    // A plain notebook under an encrypted name opens only when the user says so.
    static bool ConfirmPlainUnderEncryptedName(const std::string& path);
    // Removes the backups the old passphrase opens and says what went, the recovery copy that a
    // copy under the new one replaced included.
    void ForgetOldPassphrase(bool hadCopy, bool copied);
    // The recovery copies record the version of the file the changes began from.
    void UpdateRecoveryBase();

    void CreateBook(std::unique_ptr<CRecoverySlot> slot);
    // Asks before a Windows-1252 notebook that holds a character the code page lacks is saved as
    // UTF-8; false when the user goes back.
    bool ConfirmCodePage();
    bool Write(const std::string& path);
    // A notebook of more than one step's notes is written a step at a time, the window repainting
    // between steps behind a progress dialog whose Cancel leaves the file as it was.
    bool WriteInSteps(CNoteBookWriter& writer, const std::string& path, const std::string& backups,
                      bool& cancelled);
    // Encrypted or not as the name says: asks for a passphrase, or before the encryption is dropped.
    bool ChooseEncryption(const std::string& path);
    // The key of a new passphrase, made aside under a bar saying text: it takes half a second.
    std::shared_ptr<const CNoteBookSecret> MakeSecret(CSecureBytes passphrase, const QString& text);
    // The recovery place for the notebook at path; null when the user does not open a notebook
    // that another Pelmora has open.
    std::unique_ptr<CRecoverySlot> TakeSlot(const std::string& path);
    bool ChangedOnDisk();
    bool TakeNewChange();
    // Asks in place, or aside under a bar labelled text, the window painting, where the answer
    // takes reading or copying a whole file: whether the file on disk changed, or the merge's copy.
    template <typename Answer>
    Answer AskAside(bool slow, const QString& text, const std::function<Answer()>& ask);
    // Merges the notebook's file as it is now against the ancestor file (empty: two-way); what was
    // merged becomes the version Save compares with and the next merge's ancestor.
    bool MergeDiskAgainst(const std::string& ancestor);
    bool ReadInto(const std::string& path);
    void OpenRecovered(std::unique_ptr<CRecoverySlot> slot, const std::string& copy, const std::string& path,
                       const CFileIdentity& base);
    void MoveSlotTo(const std::string& path);
    // Puts a notebook just read or written at the top of the recent lists.
    void Remember(const std::string& path);
    void AdoptMerged(std::unique_ptr<CNoteBook> merged);
    // Conflict copies that sync tools left beside the notebook are offered for merging; those
    // merged leave the folder with the next save.
    void OfferConflictCopies(const std::string& path);
    void PutAwayMergedCopies();

    CMainFrame& m_frame;
    std::unique_ptr<CRecoverySlot> m_slot;
    std::unique_ptr<CNotePanel> m_pNotePanel;
    std::unique_ptr<CNoteBook> m_pNoteBook;
    std::unique_ptr<CRecoveryKeeper> m_recovery;
    CNoteBookFile m_file;
    std::vector<std::string> m_mergedCopies;
    bool m_checkingDisk = false;
    // A save or a merge runs while the window's events are delivered: the disk is not checked.
    bool m_busy = false;
    CRecentFileList m_recent;
    // The passphrase changed since the file was written: its file is no backup to keep.
    bool m_oldPassphraseOnDisk = false;
};
