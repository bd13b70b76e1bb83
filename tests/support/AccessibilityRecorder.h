#pragma once

#include <QAccessible>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QtGui/private/qguiapplication_p.h>
#include <qpa/qplatformaccessibility.h>
#include <qpa/qplatformintegration.h>

#include <vector>

// Turns the platform's accessibility on, as a screen reader does, and records what the widgets
// tell it, for as long as it lives. One at a time.
class AccessibilityRecorder
{
public:
    struct Event
    {
        QAccessible::Event type;
        QObject* object;
        int cursor = -1; // caret events and selections: the caret; text changes: where
        int start = -1;  // selections
        int end = -1;    // selections
        QString text;    // text inserted or removed
        int removed = 0; // characters removed
    };

    AccessibilityRecorder()
    {
        s_current = this;
        m_previous = QAccessible::installUpdateHandler(&Record);
        if (QPlatformAccessibility* platform = QGuiApplicationPrivate::platformIntegration()->accessibility())
            platform->setActive(true);
    }
    ~AccessibilityRecorder()
    {
        if (QPlatformAccessibility* platform = QGuiApplicationPrivate::platformIntegration()->accessibility())
            platform->setActive(false);
        QAccessible::installUpdateHandler(m_previous);
        s_current = nullptr;
    }

    // The events about one object, in order; the text events only when text is true.
    std::vector<Event> About(const QObject* object) const
    {
        std::vector<Event> found;
        for (const Event& event : events)
            if (event.object == object)
                found.push_back(event);
        return found;
    }
    bool Has(const QObject* object, QAccessible::Event type) const
    {
        for (const Event& event : events)
            if (event.object == object && event.type == type)
                return true;
        return false;
    }

    std::vector<Event> events;

private:
    static void Record(QAccessibleEvent* event)
    {
        if (!s_current)
            return;
        Event seen{event->type(), event->object(), -1, -1, -1, {}, 0};
        switch (event->type()) {
        case QAccessible::TextCaretMoved:
            seen.cursor = static_cast<QAccessibleTextCursorEvent*>(event)->cursorPosition();
            break;
        case QAccessible::TextSelectionChanged: {
            auto* selection = static_cast<QAccessibleTextSelectionEvent*>(event);
            seen.cursor = selection->cursorPosition();
            seen.start = selection->selectionStart();
            seen.end = selection->selectionEnd();
            break;
        }
        case QAccessible::TextInserted:
            seen.cursor = static_cast<QAccessibleTextInsertEvent*>(event)->changePosition();
            seen.text = static_cast<QAccessibleTextInsertEvent*>(event)->textInserted();
            break;
        case QAccessible::TextRemoved:
            seen.cursor = static_cast<QAccessibleTextRemoveEvent*>(event)->changePosition();
            seen.text = static_cast<QAccessibleTextRemoveEvent*>(event)->textRemoved();
            seen.removed = static_cast<int>(seen.text.size());
            break;
        case QAccessible::TextUpdated:
            seen.cursor = static_cast<QAccessibleTextUpdateEvent*>(event)->changePosition();
            seen.text = static_cast<QAccessibleTextUpdateEvent*>(event)->textInserted();
            seen.removed =
                static_cast<int>(static_cast<QAccessibleTextUpdateEvent*>(event)->textRemoved().size());
            break;
        default:
            break;
        }
        s_current->events.push_back(seen);
    }

    static inline AccessibilityRecorder* s_current = nullptr;
    QAccessible::UpdateHandler m_previous = nullptr;
};
