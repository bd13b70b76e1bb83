#include "platform/qt/CFileDropFilter.h"

#include "platform/qt/CSliceProgress.h"

#include <QApplication>
#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QTimer>
#include <QUrl>
#include <QWidget>

#include <algorithm>

namespace {

// How long a dropped file waits for a command running in slices before it looks again.
constexpr int kWaitMs = 100;

bool HasLocalFiles(const QMimeData& data)
{
    const QList<QUrl> urls = data.urls();
    return std::any_of(urls.cbegin(), urls.cend(), [](const QUrl& url) { return url.isLocalFile(); });
}

} // namespace

CFileDropFilter::CFileDropFilter(QWidget* window, QStringList suffixes, Handler handler)
    : QObject(window), m_window(window), m_suffixes(std::move(suffixes)), m_handler(std::move(handler))
{
    // Drops on parts that take none, such as the empty work area, come up to the window.
    m_window->setAcceptDrops(true);
    qApp->installEventFilter(this);
}

QString CFileDropFilter::WantedFile(const QMimeData& data) const
{
    for (const QUrl& url : data.urls()) {
        if (!url.isLocalFile())
            continue;
        const QString path = url.toLocalFile();
        if (m_suffixes.contains(QFileInfo(path).suffix(), Qt::CaseInsensitive))
            return path;
    }
    return {};
}

bool CFileDropFilter::IsInWindow(QObject* watched) const
{
    auto* widget = qobject_cast<QWidget*>(watched);
    return widget && (widget == m_window || m_window->isAncestorOf(widget));
}

bool CFileDropFilter::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    if (type != QEvent::DragEnter && type != QEvent::DragMove && type != QEvent::Drop)
        return false;
    auto* drop = static_cast<QDropEvent*>(event);
    if (!IsInWindow(watched) || !HasLocalFiles(*drop->mimeData()))
        return false;
    const QString path = WantedFile(*drop->mimeData());
    if (path.isEmpty() || !(drop->possibleActions() & Qt::CopyAction) || CSliceProgress::IsRunning()) {
        drop->ignore();
        return true;
    }
    drop->setDropAction(Qt::CopyAction);
    drop->accept();
    // The file manager waits for the drop to end; the save prompt must not hold it up.
    if (type == QEvent::Drop)
        QMetaObject::invokeMethod(
            this, [this, path] { Deliver(path); }, Qt::QueuedConnection);
    return true;
}

void CFileDropFilter::Deliver(const QString& path)
{
    if (CSliceProgress::IsRunning()) {
        QTimer::singleShot(kWaitMs, this, [this, path] { Deliver(path); });
        return;
    }
    m_handler(path);
}
