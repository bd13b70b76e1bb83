#pragma once

#include "model/CRecoveryWriter.h"
#include "platform/CFileIdentity.h"

#include <QObject>
#include <QTimer>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>

class CMainFrame;
class CNoteBook;
class CNotePanel;
class CRecoverySlot;

// Keeps a recovery copy of the open notebook while it has unsaved changes: a few seconds after
// the changes pause, and at least every half minute while they go on. The copy is written in
// slices between the window's events and finished on a worker thread, so typing never waits for
// it. A copy that cannot be written, for whatever reason, is a word in the status line.
class CRecoveryKeeper : public QObject
{
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds kPause{3000};
    static constexpr std::chrono::milliseconds kLongest{30000};
    static constexpr std::chrono::milliseconds kTick{1000};
    // Bytes of notes serialized between two of the window's events: a few milliseconds of work.
    static constexpr std::size_t kSliceBytes = 1024 * 1024;

    // The notebook, its panel and the slot outlive the keeper.
    CRecoveryKeeper(CMainFrame& frame, CNoteBook& book, CNotePanel& panel, const CRecoverySlot& slot);
    ~CRecoveryKeeper() override;

    // The copy in the slot holds this notebook's unsaved changes (a recovered notebook).
    void AdoptCopy() { m_ownsCopy = true; }
    // What the notebook's file was when it was read or saved, asked on the worker that writes each
    // copy and kept beside it, so that a recovery can tell whether the file changed since.
    void SetBase(std::function<CFileIdentity()> base) { m_base = std::move(base); }
    // Stops writing and removes the copy this notebook wrote or began to write: after a save, or
    // when the changes are given up.
    void Discard();
    // Writes the copy now and waits for it; true when it was written. For tests and benchmarks.
    bool Flush();
    // Whether a copy is being serialized or written at the moment.
    bool IsWriting();
    // How long typing must pause before a copy, and how long changes may go on without one; the
    // benchmark writes copies back to back.
    void SetDelays(std::chrono::milliseconds pause, std::chrono::milliseconds longest)
    {
        m_pause = pause;
        m_longest = longest;
    }

private:
    using Clock = std::chrono::steady_clock;

    void OnTyping();
    void OnTick();
    void OnSlice();
    void NoteChange();
    void StartWrite();
    void Collect();
    void ReportFailure();

    CMainFrame& m_frame;
    CNoteBook& m_book;
    const CRecoverySlot& m_slot;
    std::function<CFileIdentity()> m_base;
    CRecoveryWriter m_writer;
    QTimer m_tick;
    QTimer m_slice;
    std::uint64_t m_seenChanges = 0;
    bool m_stale = false;
    bool m_ownsCopy = false;
    Clock::time_point m_staleSince;
    Clock::time_point m_lastChange;
    Clock::time_point m_notBefore;
    std::chrono::milliseconds m_pause = kPause;
    std::chrono::milliseconds m_longest = kLongest;
};
