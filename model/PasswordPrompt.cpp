#include "model/PasswordPrompt.h"

#include "model/INoteBookFrame.h"

namespace {

PasswordHandler& Handler()
{
    static PasswordHandler handler;
    return handler;
}

PasswordHandler& PassphraseHandler()
{
    static PasswordHandler handler;
    return handler;
}

} // namespace

PasswordHandler SetPasswordHandler(PasswordHandler handler)
{
    PasswordHandler previous = std::move(Handler());
    Handler() = std::move(handler);
    return previous;
}

PasswordHandler SetPassphraseHandler(PasswordHandler handler)
{
    PasswordHandler previous = std::move(PassphraseHandler());
    PassphraseHandler() = std::move(handler);
    return previous;
}

bool AskNoteBookPassword(INoteBookFrame* frame, const std::string& prompt, std::string& password)
{
    if (frame)
        return frame->AskPassword(prompt, password);
    return Handler() && Handler()(prompt, password);
}

bool AskNoteBookPassphrase(INoteBookFrame* frame, const std::string& prompt, std::string& passphrase)
{
    if (frame)
        return frame->AskPassphrase(prompt, passphrase);
    if (PassphraseHandler())
        return PassphraseHandler()(prompt, passphrase);
    return Handler() && Handler()(prompt, passphrase);
}
