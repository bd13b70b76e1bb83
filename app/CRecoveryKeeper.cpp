#include "app/CRecoveryKeeper.h"

#include "app/CMainFrame.h"
#include "model/CEncryptedFile.h"
#include "model/CNoteBook.h"
#include "model/CNoteBookSecret.h"
#include "platform/CRecoverySlot.h"
#include "platform/qt/CSliceProgress.h"
#include "views/CNoteEditCtrl.h"
#include "views/CNotePanel.h"

namespace {

CRecoveryWriter::Editor EditorOf(CNotePanel& panel)
{
    return {[&panel] { return static_cast<const CNote*>(panel.GetActiveNote()); },
            [&panel](const CRecoveryWriter::Pieces& put) {
                const CNoteEditCtrl* editor = panel.GetEditPane();
                if (!editor->HasPendingText())
                    return false;
                editor->ForEachTextPiece(put);
                return true;
            }};
}

} // namespace

CRecoveryKeeper::CRecoveryKeeper(CMainFrame& frame, CNoteBook& book, CNotePanel& panel,
                                 const CRecoverySlot& slot)
    : m_frame(frame), m_book(book), m_slot(slot), m_writer(book, EditorOf(panel)),
      m_seenChanges(book.GetChangeCount())
{
    connect(panel.GetEditPane(), &CNoteEditCtrl::TextChanged, this, &CRecoveryKeeper::OnTyping);
    m_tick.setInterval(kTick);
    connect(&m_tick, &QTimer::timeout, this, &CRecoveryKeeper::OnTick);
    m_tick.start();
    m_slice.setSingleShot(true);
    m_slice.setInterval(0);
    connect(&m_slice, &QTimer::timeout, this, &CRecoveryKeeper::OnSlice);
}

CRecoveryKeeper::~CRecoveryKeeper() = default;

void CRecoveryKeeper::NoteChange()
{
    const Clock::time_point now = Clock::now();
    if (!m_stale)
        m_staleSince = now;
    m_stale = true;
    m_lastChange = now;
}

// Called for every keystroke: only the time is noted.
void CRecoveryKeeper::OnTyping()
{
    NoteChange();
}

void CRecoveryKeeper::OnTick()
{
    Collect();
    if (m_book.GetChangeCount() != m_seenChanges) {
        m_seenChanges = m_book.GetChangeCount();
        NoteChange();
    }
    if (!m_stale || !m_book.IsModified() || IsWriting() || CSliceProgress::IsRunning())
        return;
    const Clock::time_point now = Clock::now();
    if (now < m_notBefore || (now - m_lastChange < m_pause && now - m_staleSince < m_longest))
        return;
    if (!m_slot.IsTaken()) {
        // The folder could not be made or locked when the notebook opened.
        ReportFailure();
        return;
    }
    StartWrite();
    m_slice.start();
}

// The worker also records the notebook's path beside the copy, off the window's thread.
void CRecoveryKeeper::StartWrite()
{
    // From here on the copy in the slot is this notebook's, whenever the worker finishes.
    m_ownsCopy = true;
    m_stale = false;
    m_seenChanges = m_book.GetChangeCount();
    // Sealed as the notebook is, with its key and a fresh stream of nonces.
    const CRecoverySlot& slot = m_slot;
    const std::shared_ptr<const CNoteBookSecret> secret = m_book.GetSecret();
    m_writer.Start(
        slot.GetCopyPath(secret != nullptr),
        [&slot, secret](CFile& plain, CFile& out) {
            if (!slot.WritePath())
                throw CFileException(CFileException::genericException);
            if (secret)
                CEncryptedFile::Seal(plain, out, secret->GetKey());
            else
                CRecoveryWriter::CopyPlain(plain, out);
        },
        [&slot, base = m_base] { return slot.WriteBase(base ? base() : CFileIdentity()); });
}

void CRecoveryKeeper::OnSlice()
{
    m_writer.Step(kSliceBytes);
    if (m_writer.GetState() == CRecoveryWriter::State::Serializing)
        m_slice.start();
    else
        Collect();
}

// A failed copy is tried again after a while, with no word more than this.
void CRecoveryKeeper::ReportFailure()
{
    m_frame.SetMessageText(tr("Could not write the recovery copy: until they are saved, the "
                              "changes are kept only in memory."));
    m_stale = true;
    m_notBefore = Clock::now() + kLongest;
}

// Takes the worker's result once it is there.
void CRecoveryKeeper::Collect()
{
    const CRecoveryWriter::State state = m_writer.GetState();
    if (state == CRecoveryWriter::State::Failed)
        ReportFailure();
    if (state == CRecoveryWriter::State::Written || state == CRecoveryWriter::State::Failed)
        m_writer.Cancel();
}

bool CRecoveryKeeper::IsWriting()
{
    return m_slice.isActive() || m_writer.GetState() == CRecoveryWriter::State::Committing;
}

bool CRecoveryKeeper::Flush()
{
    if (!m_slot.IsTaken()) {
        ReportFailure();
        return false;
    }
    m_slice.stop();
    StartWrite();
    const bool written = m_writer.Finish() == CRecoveryWriter::State::Written;
    Collect();
    return written;
}

void CRecoveryKeeper::Discard()
{
    m_slice.stop();
    m_writer.Cancel();
    m_stale = false;
    m_seenChanges = m_book.GetChangeCount();
    if (m_ownsCopy)
        m_slot.RemoveCopy();
    m_ownsCopy = false;
}
