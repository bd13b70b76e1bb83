#pragma once

#include <functional>
#include <string>

// Styles and answers of the program's message boxes, with the values the Windows program used.
enum MessageBoxStyle : unsigned
{
    MB_OK = 0x00,
    MB_OKCANCEL = 0x01,
    MB_YESNOCANCEL = 0x03,
    MB_YESNO = 0x04,
    MB_ICONQUESTION = 0x20,
    MB_ICONEXCLAMATION = 0x30,
    MB_ICONINFORMATION = 0x40,
    MB_DEFBUTTON1 = 0x000,
    MB_DEFBUTTON2 = 0x100,
    MB_DEFBUTTON3 = 0x200,
    // Pelmora's own: a Merge button beside the others, answered IDMERGE; never the default.
    MB_MERGE = 0x1000,
    MB_TYPEMASK = 0x0F,
    MB_ICONMASK = 0xF0,
    MB_DEFMASK = 0xF00,
};

enum MessageBoxAnswer : int
{
    IDOK = 1,
    IDCANCEL = 2,
    IDYES = 6,
    IDNO = 7,
    IDMERGE = 100,
};

using MessageBoxHandler =
    std::function<int(const std::string& text, unsigned style, const std::string& caption)>;

// Shows a modal message and returns the button pressed. Where it goes depends on the handler that
// is installed: the window program shows a real box, the tool prints, tests answer. An empty
// caption is the program's name.
int AfxMessageBox(const std::string& text, unsigned style = MB_OK, const std::string& caption = {});

// Installs a handler and returns the previous one. With none installed the text goes to standard
// error and the answer is the default button.
MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler);

// The answer a box gives without a user: its default button.
int DefaultMessageBoxAnswer(unsigned style);
