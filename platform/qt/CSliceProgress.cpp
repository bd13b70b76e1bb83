#include "platform/qt/CSliceProgress.h"

#include <QCoreApplication>

namespace {

// Long enough for thousands of notes, short enough that the window paints in between.
constexpr qint64 kSliceMs = 15;
constexpr int kShowAfterMs = 400;
constexpr int kSteps = 1000;

std::size_t& PiecesPerSlice()
{
    static std::size_t pieces = 0;
    return pieces;
}

} // namespace

CSliceProgress::CSliceProgress(QWidget* parent, const QString& text, bool cancellable)
    : m_dialog(text, cancellable ? QCoreApplication::translate("CSliceProgress", "Cancel") : QString(), 0,
               kSteps, parent),
      m_cancellable(cancellable)
{
    m_dialog.setWindowModality(Qt::WindowModal);
    m_dialog.setMinimumDuration(kShowAfterMs);
    m_clock.start();
}

void CSliceProgress::SetPiecesPerSlice(std::size_t pieces)
{
    PiecesPerSlice() = pieces;
}

bool CSliceProgress::Step(std::size_t done, std::size_t total)
{
    const bool sliceEnded =
        PiecesPerSlice() > 0 ? ++m_pieces >= PiecesPerSlice() : m_clock.elapsed() >= kSliceMs;
    if (sliceEnded) {
        RunEvents(done, total);
        m_pieces = 0;
        m_clock.restart();
    }
    return !WasCancelled();
}

void CSliceProgress::RunEvents(std::size_t done, std::size_t total)
{
    if (total == 0)
        m_dialog.setMaximum(0);
    m_dialog.setValue(
        total == 0 ? 0 : static_cast<int>(static_cast<double>(done) * kSteps / static_cast<double>(total)));
    QCoreApplication::processEvents(m_dialog.isVisible() ? QEventLoop::AllEvents
                                                         : QEventLoop::ExcludeUserInputEvents);
}
