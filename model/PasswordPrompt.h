#pragma once

#include <functional>
#include <string>

class INoteBookFrame;

// Answers the reader's password question where there is no main window: the tool asks on its
// terminal or takes a given password, tests answer directly. Returns false for a cancelled prompt.
using PasswordHandler = std::function<bool(const std::string& prompt, std::string& password)>;

// Installs a handler and returns the previous one.
PasswordHandler SetPasswordHandler(PasswordHandler handler);

// Installs a handler of the passphrase question alone, which the password's handler answers while
// there is none, and returns the previous one.
PasswordHandler SetPassphraseHandler(PasswordHandler handler);

// Asks through the main frame when there is one, otherwise through the handler. With neither the
// question counts as cancelled.
bool AskNoteBookPassword(INoteBookFrame* frame, const std::string& prompt, std::string& password);

// The same for the passphrase of an encrypted notebook.
bool AskNoteBookPassphrase(INoteBookFrame* frame, const std::string& prompt, std::string& passphrase);
