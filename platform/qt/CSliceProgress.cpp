#include "platform/qt/CSliceProgress.h"

#include <QCoreApplication>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>

namespace {

// Long enough for thousands of notes, short enough that the window paints in between.
constexpr qint64 kSliceMs = 15;
constexpr int kShowAfterMs = 400;
constexpr int kSteps = 1000;

int& Running()
{
    static int running = 0;
    return running;
}

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
    ++Running();
}

CSliceProgress::~CSliceProgress()
{
    --Running();
}

bool CSliceProgress::IsRunning()
{
    return Running() > 0;
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

void CSliceProgress::RunToEnd(QWidget* parent, const QString& text, const std::function<void()>& work)
{
    CSliceProgress progress(parent, text, false);
    progress.RunAside([&work](const Report&) {
        work();
        return true;
    });
}

bool CSliceProgress::RunAside(const std::function<bool(const Report&)>& work)
{
    std::mutex lock;
    std::condition_variable changed;
    std::size_t done = 0;
    std::size_t total = 0;
    std::size_t reports = 0;
    std::size_t seen = 0;
    bool finished = false;
    bool result = false;
    std::exception_ptr failure;
    std::atomic<bool> cancelled{false};
    const bool lockstep = PiecesPerSlice() > 0;
    bool ranEvents = false;
    std::thread worker([&] {
        bool ok = false;
        try {
            ok = work([&](std::size_t piecesDone, std::size_t pieces) {
                std::unique_lock<std::mutex> hold(lock);
                done = piecesDone;
                total = pieces;
                // The window looks once a slice: a wake-up per report would only take the cores
                // from it and from the work. A test's lockstep waits for each report.
                if (lockstep) {
                    ++reports;
                    changed.notify_all();
                    changed.wait(hold, [&] { return seen >= reports; });
                }
                return !cancelled.load();
            });
        } catch (...) {
            failure = std::current_exception();
        }
        const std::lock_guard<std::mutex> hold(lock);
        result = ok;
        finished = true;
        changed.notify_all();
    });
    for (;;) {
        std::size_t shownDone = 0;
        std::size_t shownTotal = 0;
        {
            std::unique_lock<std::mutex> hold(lock);
            const auto reported = [&] { return finished || (lockstep && reports > seen); };
            if (lockstep)
                changed.wait(hold, reported);
            else
                changed.wait_for(hold, std::chrono::milliseconds(kSliceMs), reported);
            if (finished && ranEvents)
                break;
            shownDone = done;
            shownTotal = total;
        }
        RunEvents(shownDone, shownTotal);
        ranEvents = true;
        cancelled = WasCancelled();
        const std::lock_guard<std::mutex> hold(lock);
        seen = reports;
        changed.notify_all();
    }
    worker.join();
    if (failure)
        std::rethrow_exception(failure);
    return result;
}
