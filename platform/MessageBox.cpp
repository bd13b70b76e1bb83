#include "platform/MessageBox.h"

#include <cstdio>

namespace {

MessageBoxHandler& Handler()
{
    static MessageBoxHandler handler;
    return handler;
}

} // namespace

int DefaultMessageBoxAnswer(unsigned style)
{
    static const int buttons[][3] = {
        {IDOK, IDOK, IDOK},         // MB_OK
        {IDOK, IDCANCEL, IDCANCEL}, // MB_OKCANCEL
        {IDOK, IDOK, IDOK},         // abort/retry/ignore: not used
        {IDYES, IDNO, IDCANCEL},    // MB_YESNOCANCEL
        {IDYES, IDNO, IDNO},        // MB_YESNO
    };
    const unsigned type = style & MB_TYPEMASK;
    const unsigned def = (style & MB_DEFMASK) >> 8;
    if (type >= sizeof(buttons) / sizeof(buttons[0]) || def > 2)
        return IDOK;
    return buttons[type][def];
}

int AfxMessageBox(const std::string& text, unsigned style, const std::string& caption)
{
    if (Handler())
        return Handler()(text, style, caption);
    std::fprintf(stderr, "%s\n", text.c_str());
    return DefaultMessageBoxAnswer(style);
}

MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler)
{
    MessageBoxHandler previous = std::move(Handler());
    Handler() = std::move(handler);
    return previous;
}
