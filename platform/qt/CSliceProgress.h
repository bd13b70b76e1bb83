#pragma once

#include <QElapsedTimer>
#include <QProgressDialog>

#include <cstddef>

// The progress bar of a command that works in slices: the command calls Step after each piece
// of its work, and every slice of about 15 ms the bar moves and the window's events run. The
// bar shows after a while and then, window-modal, keeps the user from the window; until then the
// user's keys and clicks wait, so nothing changes what the command works on.
class CSliceProgress
{
public:
    // Without cancellable there is no Cancel button, and closing the bar does not stop the work.
    CSliceProgress(QWidget* parent, const QString& text, bool cancellable = true);

    // After a piece: false once the user cancelled. total 0 shows a bar that only moves.
    bool Step(std::size_t done, std::size_t total);
    bool WasCancelled() const { return m_cancellable && m_dialog.wasCanceled(); }
    QProgressDialog& GetDialog() { return m_dialog; }

    // For tests: a slice ends after this many pieces, not by the clock, so that a command takes
    // slices however fast it is; 0 for the clock again.
    static void SetPiecesPerSlice(std::size_t pieces);

private:
    void RunEvents(std::size_t done, std::size_t total);

    QProgressDialog m_dialog;
    QElapsedTimer m_clock;
    std::size_t m_pieces = 0;
    bool m_cancellable;
};
