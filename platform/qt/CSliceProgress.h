#pragma once

#include <QElapsedTimer>
#include <QProgressDialog>

#include <cstddef>
#include <functional>

// The progress bar of a command that works in slices: the command calls Step after each piece
// of its work, and every slice of about 15 ms the bar moves and the window's events run. The
// bar shows after a while and then, window-modal, keeps the user from the window; until then the
// user's keys and clicks wait, so nothing changes what the command works on.
class CSliceProgress
{
public:
    // Without cancellable there is no Cancel button, and closing the bar does not stop the work.
    CSliceProgress(QWidget* parent, const QString& text, bool cancellable = true);
    ~CSliceProgress();
    CSliceProgress(const CSliceProgress&) = delete;
    CSliceProgress& operator=(const CSliceProgress&) = delete;

    // Whether a command runs in slices now: what the window does between them on its own (copies
    // for recovery, looking at the disk) waits, as the notes may be half worked on or read aside.
    static bool IsRunning();

    // After a piece: false once the user cancelled. total 0 shows a bar that only moves.
    bool Step(std::size_t done, std::size_t total);
    // For work where one piece may wait longer than a slice (on the disk): runs it on a thread of
    // its own while the window's events run, the bar following what it reports, and returns what
    // it returns. A report returns false once the user cancelled. The work must only read what
    // the window's thread may touch meanwhile. The events run at least once.
    using Report = std::function<bool(std::size_t done, std::size_t total)>;
    bool RunAside(const std::function<bool(const Report&)>& work);
    // Work that cannot stop midway, run aside under a bar without Cancel.
    static void RunToEnd(QWidget* parent, const QString& text, const std::function<void()>& work);
    bool WasCancelled() const { return m_cancellable && m_dialog.wasCanceled(); }
    QProgressDialog& GetDialog() { return m_dialog; }

    // For tests: a slice ends after this many pieces, not by the clock, so that a command takes
    // slices however fast it is, and work run aside waits after each report until the window's
    // events have run; 0 for the clock again.
    static void SetPiecesPerSlice(std::size_t pieces);

private:
    void RunEvents(std::size_t done, std::size_t total);

    QProgressDialog m_dialog;
    QElapsedTimer m_clock;
    std::size_t m_pieces = 0;
    bool m_cancellable;
};
