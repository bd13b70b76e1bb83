#pragma once

// The user's own view choices, kept per user in the registry store and never in a notebook: the
// zoom of the note's text and the list, in steps from the notebook's own size, and whether a start
// without a file opens the notebook used last.
class CUserSettings
{
public:
    static constexpr int kMinZoom = -5;
    static constexpr int kMaxZoom = 10;

    // The stored choices; no zoom and no reopening until the user asks.
    static CUserSettings Read();
    bool Write() const;

    // Each step is a tenth of the size: from half the size to twice it.
    double ZoomFactor() const { return 1.0 + 0.1 * m_zoom; }

    int m_zoom = 0;
    bool m_bReopenLast = false;
};
