#pragma once

// The state of the keyboard's lock keys, for the status bar's CAP, NUM and SCRL indicators.
class CLockKeys
{
public:
    bool caps = false;
    bool num = false;
    bool scroll = false;

    // Asks the display; false where it cannot tell (no X11 display, the offscreen platform).
    static bool Query(CLockKeys& keys);
    // The X keyboard extension's indicator mask: Caps Lock, Num Lock, Scroll Lock in bits 0 to 2.
    static CLockKeys FromIndicatorMask(unsigned mask);
};
