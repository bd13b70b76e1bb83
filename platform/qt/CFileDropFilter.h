#pragma once

#include <QObject>
#include <QStringList>

#include <functional>

class QMimeData;
class QWidget;

// Files dragged from a file manager onto any part of a window. A file of a wanted kind is taken
// as a copy, never a move (a move tells the file manager it may delete its file), and handed over
// once the drop is done; any other file is refused. No widget of the window sees a file drag, so
// none pastes a file's address as text; plain text and web links still go to the widget under the
// pointer. While a command runs in slices a file is refused, and one dropped just before waits
// for it to end: the handler may close the notebook the command works on.
class CFileDropFilter : public QObject
{
    Q_OBJECT

public:
    using Handler = std::function<void(const QString& path)>;

    // Suffixes without the dot, as "pelm"; the filter belongs to the window.
    CFileDropFilter(QWidget* window, QStringList suffixes, Handler handler);

    // The first local file with one of the suffixes, or empty.
    QString WantedFile(const QMimeData& data) const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool IsInWindow(QObject* watched) const;
    void Deliver(const QString& path);

    QWidget* m_window;
    QStringList m_suffixes;
    Handler m_handler;
};
