// Preloaded into the window program by the world test: writes each message box, file dialog and
// status line the program shows to the file named by PELMORA_WORLD_LOG, one line each, so that the
// test knows which question it answers and that a save said what became of it. The calls are the
// program's own calls into Qt, passed on unchanged.
#include <QString>

#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace {

std::string Escaped(const QString& text)
{
    std::string out;
    for (const char c : text.toStdString()) {
        if (c == '\n')
            out += "\\n";
        else if (c == '\t')
            out += "\\t";
        else if (c == '\\')
            out += "\\\\";
        else
            out += c;
    }
    return out;
}

// One write of a whole line, so that the lines of two windows never interleave.
void Log(const char* kind, const QString& text = QString())
{
    const char* path = std::getenv("PELMORA_WORLD_LOG");
    if (!path)
        return;
    const std::string line = std::to_string(::getpid()) + '\t' + kind + '\t' + Escaped(text) + '\n';
    const int fd = ::open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return;
    [[maybe_unused]] const ssize_t written = ::write(fd, line.data(), line.size());
    ::close(fd);
}

template <typename Function> Function Next(const char* name)
{
    return reinterpret_cast<Function>(::dlsym(RTLD_NEXT, name));
}

#define MESSAGE_BOX_CTOR                                                                                     \
    "_ZN11QMessageBoxC1ENS_4IconERK7QStringS3_6QFlagsINS_14StandardButtonEEP7QWidgetS4_IN2Qt10WindowTypeEE"
#define MESSAGE_BOX_DTOR "_ZN11QMessageBoxD1Ev"
#define ADD_STANDARD_BUTTON "_ZN11QMessageBox9addButtonENS_14StandardButtonE"
#define ADD_BUTTON "_ZN11QMessageBox9addButtonERK7QStringNS_10ButtonRoleE"
#define FILE_DIALOG_CTOR "_ZN11QFileDialogC1EP7QWidgetRK7QStringS4_S4_"
#define FILE_DIALOG_DTOR "_ZN11QFileDialogD1Ev"
#define SET_DEFAULT_BUTTON "_ZN11QMessageBox16setDefaultButtonENS_14StandardButtonE"
#define SHOW_MESSAGE "_ZN10QStatusBar11showMessageERK7QStringi"

} // namespace

// QFlags and the enums travel as ints.
extern "C" void WorldMessageBox(void* self, int icon, const QString& title, const QString& text, int buttons,
                                void* parent, int flags) __asm__(MESSAGE_BOX_CTOR);
extern "C" void WorldMessageBoxEnd(void* self) __asm__(MESSAGE_BOX_DTOR);
extern "C" void* WorldStandardButton(void* self, int button) __asm__(ADD_STANDARD_BUTTON);
extern "C" void* WorldButton(void* self, const QString& text, int role) __asm__(ADD_BUTTON);
extern "C" void WorldFileDialog(void* self, void* parent, const QString& caption, const QString& directory,
                                const QString& filter) __asm__(FILE_DIALOG_CTOR);
extern "C" void WorldFileDialogEnd(void* self) __asm__(FILE_DIALOG_DTOR);
extern "C" void WorldDefaultButton(void* self, int button) __asm__(SET_DEFAULT_BUTTON);
extern "C" void WorldStatus(void* self, const QString& text, int timeout) __asm__(SHOW_MESSAGE);

void WorldMessageBox(void* self, int icon, const QString& title, const QString& text, int buttons,
                     void* parent, int flags)
{
    Log("box", text);
    Next<void (*)(void*, int, const QString&, const QString&, int, void*, int)>(MESSAGE_BOX_CTOR)(
        self, icon, title, text, buttons, parent, flags);
}

void WorldMessageBoxEnd(void* self)
{
    Log("box-end");
    Next<void (*)(void*)>(MESSAGE_BOX_DTOR)(self);
}

void* WorldStandardButton(void* self, int button)
{
    Log("button", QString::number(button));
    return Next<void* (*)(void*, int)>(ADD_STANDARD_BUTTON)(self, button);
}

void* WorldButton(void* self, const QString& text, int role)
{
    Log("button", text);
    return Next<void* (*)(void*, const QString&, int)>(ADD_BUTTON)(self, text, role);
}

void WorldFileDialog(void* self, void* parent, const QString& caption, const QString& directory,
                     const QString& filter)
{
    Log("file-dialog", caption);
    Next<void (*)(void*, void*, const QString&, const QString&, const QString&)>(FILE_DIALOG_CTOR)(
        self, parent, caption, directory, filter);
}

void WorldFileDialogEnd(void* self)
{
    Log("file-dialog-end");
    Next<void (*)(void*)>(FILE_DIALOG_DTOR)(self);
}

void WorldDefaultButton(void* self, int button)
{
    Log("default", QString::number(button));
    Next<void (*)(void*, int)>(SET_DEFAULT_BUTTON)(self, button);
}

void WorldStatus(void* self, const QString& text, int timeout)
{
    Log("status", text);
    Next<void (*)(void*, const QString&, int)>(SHOW_MESSAGE)(self, text, timeout);
}
