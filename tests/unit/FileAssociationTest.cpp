#include "platform/desktop/CFileAssociation.h"
#include "platform/desktop/CRegistryKey.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sys/wait.h>
#include <thread>

namespace fs = std::filesystem;

namespace {

std::string ReadAll(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteText(const fs::path& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

std::string ShellQuote(const std::string& text)
{
    std::string quoted = "'";
    for (const char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// Runs a shell command; its standard output without the last line break, and its exit status.
std::pair<std::string, int> RunShell(const std::string& command)
{
    FILE* pipe = ::popen((command + " 2>/dev/null").c_str(), "r");
    std::string output;
    char block[4096];
    while (std::size_t got = std::fread(block, 1, sizeof block, pipe))
        output.append(block, got);
    const int status = ::pclose(pipe);
    if (!output.empty() && output.back() == '\n')
        output.pop_back();
    return {output, WIFEXITED(status) ? WEXITSTATUS(status) : -1};
}

// A fresh home with its own XDG folders. xdg-mime decides by the desktop in use: GNOME's way asks
// GIO, which reads the user's MIME database (the generic way asks file(1), which does not).
class FileAssociation : public ::testing::Test
{
protected:
    FileAssociation()
    {
        m_env.Set("HOME", Home().string());
        m_env.Set("XDG_DATA_HOME", DataHome().string());
        m_env.Set("XDG_CONFIG_HOME", ConfigHome().string());
        m_env.Set("XDG_CONFIG_DIRS", (m_dir.Path() / "etc").string());
        m_env.Set("XDG_DATA_DIRS", "/usr/share");
        m_env.Set("XDG_CURRENT_DESKTOP", "GNOME");
        m_env.Set("GIO_USE_VFS", "local");
        for (const char* name : {"DESKTOP_SESSION", "KDE_FULL_SESSION", "XDG_MENU_PREFIX", "DISPLAY"})
            m_env.Unset(name);
        fs::create_directories(Home());
        m_program = MakeProgram(m_dir.Path() / "bin");
    }

    fs::path Home() const { return m_dir.Path() / "home"; }
    fs::path DataHome() const { return m_dir.Path() / "data"; }
    fs::path ConfigHome() const { return m_dir.Path() / "config"; }
    fs::path Entry() const { return DataHome() / "applications/pelmora.desktop"; }
    fs::path MimeApps() const { return ConfigHome() / "mimeapps.list"; }

    // A stand-in program that writes its argument count and arguments to a file beside it.
    fs::path MakeProgram(const fs::path& folder) const
    {
        fs::create_directories(folder);
        const fs::path program = folder / "pelmora";
        WriteText(program, "#!/bin/sh\n{ echo \"$#\"; printf '%s\\n' \"$@\"; } > " +
                               ShellQuote((folder / "arguments").string()) + "\n");
        fs::permissions(program, fs::perms::owner_all);
        return program;
    }

    // Starts the desktop entry on a file the way a file manager does and returns what it received.
    std::string LaunchEntryOn(const fs::path& program, const fs::path& file) const
    {
        const fs::path out = program.parent_path() / "arguments";
        EXPECT_EQ(
            RunShell("gio launch " + ShellQuote(Entry().string()) + " " + ShellQuote(file.string())).second,
            0);
        for (int i = 0; i < 100 && ReadAll(out).empty(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        return ReadAll(out);
    }

    std::string QueryFileType(const fs::path& file) const
    {
        return RunShell("xdg-mime query filetype " + ShellQuote(file.string())).first;
    }
    std::string QueryDefault() const
    {
        return RunShell(std::string("xdg-mime query default ") + CFileAssociation::kMimeType).first;
    }

    TempDir m_dir;
    ScopedEnv m_env;
    fs::path m_program;
};

} // namespace

TEST_F(FileAssociation, DesktopOpensPelmFilesWithThePelmoraEntry)
{
    ASSERT_EQ(RunShell("command -v gio").second, 0) << "gio (Debian package libglib2.0-bin) is needed";
    const fs::path notebook = m_dir.Path() / "my notes.pelm";
    WriteText(notebook, "notebook contents");
    EXPECT_NE(QueryFileType(notebook), CFileAssociation::kMimeType);

    ASSERT_TRUE(CFileAssociation::Associate(m_program.string()));

    EXPECT_EQ(QueryFileType(notebook), CFileAssociation::kMimeType);
    EXPECT_EQ(QueryDefault(), CFileAssociation::kDesktopId);
    EXPECT_EQ(RunShell("desktop-file-validate " + ShellQuote(Entry().string())).second, 0);
    EXPECT_EQ(LaunchEntryOn(m_program, notebook), "1\n" + notebook.string() + "\n");

    CRegistryKey key;
    ASSERT_TRUE(key.Open(HKEY_CLASSES_ROOT, ".pelm\\shell\\open\\command", CRegistryKey::REGKEY_READ));
    char command[4096];
    ASSERT_TRUE(key.ReadString(nullptr, command, sizeof command));
    EXPECT_EQ(command, "\"" + m_program.string() + "\" \"%1\"");
}

TEST_F(FileAssociation, ProgramPathWithReservedCharactersStillStartsTheProgram)
{
    ASSERT_EQ(RunShell("command -v gio").second, 0) << "gio (Debian package libglib2.0-bin) is needed";
    // No '%': GLib looks for the program before it undoes the '%%' escape, so it cannot load such
    // an entry; the escape itself is checked below.
    const fs::path program = MakeProgram(m_dir.Path() / "odd \"folder\" $HOME `x` \\back (1) 'q' #;");
    const fs::path notebook = m_dir.Path() / "a.pelm";
    WriteText(notebook, "x");
    ASSERT_TRUE(CFileAssociation::Associate(program.string()));
    EXPECT_EQ(RunShell("desktop-file-validate " + ShellQuote(Entry().string())).second, 0);
    EXPECT_EQ(LaunchEntryOn(program, notebook), "1\n" + notebook.string() + "\n");
}

TEST_F(FileAssociation, ExecArgumentIsQuotedOnlyWhenItMustBe)
{
    EXPECT_EQ(CFileAssociation::QuoteExecArgument("/usr/bin/pelmora"), "/usr/bin/pelmora");
    EXPECT_EQ(CFileAssociation::QuoteExecArgument("/opt/100%/pelmora"), "/opt/100%%/pelmora");
    EXPECT_EQ(CFileAssociation::QuoteExecArgument("/my apps/pelmora"), "\"/my apps/pelmora\"");
    EXPECT_EQ(CFileAssociation::QuoteExecArgument("/a\\b/\"$`"), "\"/a\\\\\\\\b/\\\\\"\\\\$\\\\`\"");
}

TEST_F(FileAssociation, RunningTwiceGivesTheSameFiles)
{
    ASSERT_TRUE(CFileAssociation::Associate(m_program.string()));
    const fs::path package = DataHome() / "mime/packages/pelmora-notebook.xml";
    const fs::path values =
        DataHome() / "pelmora/registry/HKEY_CLASSES_ROOT/.pelm/shell/open/command/%values";
    const std::vector<fs::path> files{package, Entry(), MimeApps(), values};
    std::vector<std::string> first;
    for (const fs::path& file : files)
        first.push_back(ReadAll(file));
    ASSERT_TRUE(CFileAssociation::Associate(m_program.string()));
    for (std::size_t i = 0; i < files.size(); ++i)
        EXPECT_EQ(ReadAll(files[i]), first[i]) << files[i];
    EXPECT_EQ(ReadAll(MimeApps()),
              "[Default "
              "Applications]\napplication/x-pelmora-encrypted-notebook=pelmora.desktop;\napplication/"
              "x-pelmora-notebook=pelmora.desktop;\n");
    EXPECT_EQ(QueryDefault(), CFileAssociation::kDesktopId);
}

TEST_F(FileAssociation, OtherEntriesOfTheDefaultsFileAreKept)
{
    fs::create_directories(ConfigHome() / "dotfiles");
    const fs::path real = ConfigHome() / "dotfiles/mimeapps.list";
    WriteText(real, "# my associations\n"
                    "[Added Associations]\n"
                    "text/plain=gedit.desktop;\n"
                    "\n"
                    "[Default Applications]\n"
                    "text/plain=gedit.desktop;\n"
                    "application/x-pelmora-notebook = other.desktop;pelmora.desktop;\n"
                    "application/x-pelmora-notebook=dup.desktop;\n"
                    "\n"
                    "[Removed Associations]\n"
                    "application/x-pelmora-notebook=pelmora.desktop;junk.desktop;\n"
                    "image/png=pelmora.desktop;\n");
    fs::create_symlink(real, MimeApps());

    ASSERT_TRUE(CFileAssociation::Associate(m_program.string()));

    EXPECT_TRUE(fs::is_symlink(MimeApps())) << "the link stays; its target is edited";
    EXPECT_EQ(ReadAll(real), "# my associations\n"
                             "[Added Associations]\n"
                             "text/plain=gedit.desktop;\n"
                             "\n"
                             "[Default Applications]\n"
                             "application/x-pelmora-encrypted-notebook=pelmora.desktop;\n"
                             "text/plain=gedit.desktop;\n"
                             "application/x-pelmora-notebook=pelmora.desktop;other.desktop;\n"
                             "\n"
                             "[Removed Associations]\n"
                             "application/x-pelmora-notebook=junk.desktop;\n"
                             "image/png=pelmora.desktop;\n");
    EXPECT_EQ(QueryDefault(), CFileAssociation::kDesktopId);

    // A defaults group without the type gets it first; a file without the group gets the group.
    WriteText(real, "[Default Applications]\ntext/plain=gedit.desktop;\n[Other]\nx=y");
    ASSERT_TRUE(CFileAssociation::Associate(m_program.string()));
    EXPECT_EQ(ReadAll(real),
              "[Default "
              "Applications]\napplication/x-pelmora-encrypted-notebook=pelmora.desktop;\napplication/"
              "x-pelmora-notebook=pelmora.desktop;\n"
              "text/plain=gedit.desktop;\n[Other]\nx=y\n");
    WriteText(real, "[Other]\nx=y\n");
    ASSERT_TRUE(CFileAssociation::Associate(m_program.string()));
    EXPECT_EQ(ReadAll(real),
              "[Other]\nx=y\n\n[Default "
              "Applications]\napplication/x-pelmora-encrypted-notebook=pelmora.desktop;\napplication/"
              "x-pelmora-notebook=pelmora.desktop;\n");
}

TEST_F(FileAssociation, FailureOfAnyPartIsReported)
{
    EXPECT_FALSE(CFileAssociation::Associate("relative/pelmora"));
    EXPECT_FALSE(CFileAssociation::Associate(m_program.string() + "\nExec=evil"));
    EXPECT_FALSE(fs::exists(DataHome()));

    // Permission bits do not stop root, so the folders are put below a regular file.
    const fs::path blocker = m_dir.Path() / "blocker";
    WriteText(blocker, "not a folder");
    {
        ScopedEnv env;
        env.Set("XDG_DATA_HOME", (blocker / "data").string());
        EXPECT_FALSE(CFileAssociation::Associate(m_program.string()));
    }
    {
        ScopedEnv env;
        env.Set("XDG_CONFIG_HOME", (blocker / "config").string());
        EXPECT_FALSE(CFileAssociation::Associate(m_program.string()));
        EXPECT_TRUE(fs::exists(Entry())) << "the parts before the failing one are written";
    }
    {
        ScopedEnv env;
        env.Set("PATH", (m_dir.Path() / "no-tools").string());
        EXPECT_FALSE(CFileAssociation::Associate(m_program.string())) << "update-mime-database not found";
    }
    EXPECT_FALSE(fs::exists(MimeApps()));
    EXPECT_TRUE(CFileAssociation::Associate(m_program.string()));
}

TEST_F(FileAssociation, WithThePackageEntryBothTypesOpenThroughItAndNoSecondEntryIsLeft)
{
    ASSERT_TRUE(CFileAssociation::Associate(m_program.string()));
    ASSERT_TRUE(fs::exists(Entry())) << "without the package, an entry of the user's own";
    EXPECT_NE(ReadAll(MimeApps()).find("application/x-pelmora-encrypted-notebook=pelmora.desktop;"),
              std::string::npos);

    const fs::path system = m_dir.Path() / "system";
    fs::create_directories(system / "applications");
    WriteText(system / "applications" / CFileAssociation::kPackageDesktopId,
              ReadAll(fs::path(PELMORA_SOURCE) / "res/io.github.orlathwick.pelmora.desktop"));
    m_env.Set("XDG_DATA_DIRS", "relative/share:" + system.string() + ":/usr/share");
    EXPECT_EQ(CFileAssociation::FindPackageEntry(),
              (system / "applications" / CFileAssociation::kPackageDesktopId).string());
    WriteText(DataHome() / "applications/other.desktop", "[Desktop Entry]\nName=Other\n");

    ASSERT_TRUE(CFileAssociation::Associate(m_program.string()));
    EXPECT_FALSE(fs::exists(Entry())) << "the package's entry is the only launcher";
    EXPECT_TRUE(fs::exists(DataHome() / "applications/other.desktop"));
    const std::string list = ReadAll(MimeApps());
    EXPECT_NE(list.find("\napplication/x-pelmora-notebook=io.github.orlathwick.pelmora.desktop;\n"),
              std::string::npos)
        << list;
    EXPECT_NE(list.find("\napplication/x-pelmora-encrypted-notebook=io.github.orlathwick.pelmora.desktop;\n"),
              std::string::npos)
        << list;
    EXPECT_EQ(list.find("=pelmora.desktop"), std::string::npos) << "the old entry is named nowhere";
    CRegistryKey key;
    ASSERT_TRUE(key.Open(HKEY_CLASSES_ROOT, ".pelm\\shell\\open\\command", CRegistryKey::REGKEY_READ));
    char command[512];
    ASSERT_TRUE(key.ReadString(nullptr, command, sizeof command));
    EXPECT_EQ(std::string(command), "\"" + m_program.string() + "\" \"%1\"");
}
