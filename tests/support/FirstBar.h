#pragma once

#include <QProgressDialog>
#include <QTimer>
#include <QWidget>

#include <functional>

// The window's progress bar at the first pass of its events from now, as a command running in
// slices lets them run: its label, what meanwhile sees then, and Cancel pressed when asked. Given a
// label, the first bar that shows it, at a later pass when a command looks at something else
// first. The label stays empty when no bar was there, or no events ran while the object lived.
class FirstBar
{
public:
    enum Press
    {
        Look,
        Cancel
    };

    FirstBar(QWidget& window, Press press, std::function<void()> meanwhile = {}, const QString& wanted = {})
    {
        m_pass.setSingleShot(true);
        QObject::connect(&m_pass, &QTimer::timeout,
                         [this, &window, press, meanwhile = std::move(meanwhile), wanted] {
                             auto* progress = window.findChild<QProgressDialog*>();
                             if (!progress)
                                 return;
                             if (!wanted.isEmpty() && progress->labelText() != wanted) {
                                 m_pass.start(0);
                                 return;
                             }
                             m_label = progress->labelText();
                             if (meanwhile)
                                 meanwhile();
                             if (press == Cancel)
                                 progress->cancel();
                         });
        m_pass.start(0);
    }

    const QString& Label() const { return m_label; }

private:
    QTimer m_pass;
    QString m_label;
};
