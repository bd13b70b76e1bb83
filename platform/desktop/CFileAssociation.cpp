#include "platform/desktop/CFileAssociation.h"

#include "platform/AtomicFile.h"
#include "platform/XdgPaths.h"
#include "platform/desktop/CRegistryKey.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

const char kCommandKey[] = ".pelm\\shell\\open\\command";
const char kMimePackage[] = "pelmora-notebook.xml";
const char kDefaultGroup[] = "[Default Applications]";
const char kRemovedGroup[] = "[Removed Associations]";

bool HasControlCharacter(const std::string& text)
{
    for (const char c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            return true;
    return false;
}

bool WriteRegistryCommand(const std::string& programPath)
{
    const char* format = "\"%s\" \"%%1\"";
    std::vector<char> command(programPath.size() + 16);
    std::snprintf(command.data(), command.size(), format, programPath.c_str());
    CRegistryKey key;
    return key.Open(HKEY_CLASSES_ROOT, kCommandKey,
                    CRegistryKey::REGKEY_CREATE | CRegistryKey::REGKEY_WRITE | CRegistryKey::REGKEY_READ) &&
           key.WriteString(nullptr, command.data());
}

std::string MimePackage()
{
    return std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                       "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n"
                       "  <mime-type type=\"") +
           CFileAssociation::kMimeType +
           "\">\n"
           "    <comment>Pelmora notebook</comment>\n"
           "    <generic-icon name=\"x-office-document\"/>\n"
           "    <glob pattern=\"*.pelm\"/>\n"
           "  </mime-type>\n"
           "  <mime-type type=\"" +
           CFileAssociation::kEncryptedMimeType +
           "\">\n"
           "    <comment>Pelmora encrypted notebook</comment>\n"
           "    <generic-icon name=\"x-office-document\"/>\n"
           "    <glob pattern=\"*.pelmx\"/>\n"
           "    <magic priority=\"60\">\n"
           "      <match type=\"string\" offset=\"0\" value=\"PELMORAX\"/>\n"
           "    </magic>\n"
           "  </mime-type>\n"
           "</mime-info>\n";
}

std::string DesktopEntry(const std::string& programPath)
{
    return std::string("[Desktop Entry]\n"
                       "Type=Application\n"
                       "Version=1.0\n"
                       "Name=Pelmora\n"
                       "GenericName=Note Taking\n"
                       "Comment=Take masses of notes in one notebook\n"
                       "Exec=") +
           CFileAssociation::QuoteExecArgument(programPath) +
           " %f\n"
           "Icon=io.github.orlathwick.pelmora\n"
           "Terminal=false\n"
           "MimeType=" +
           CFileAssociation::kMimeType + ";" + CFileAssociation::kEncryptedMimeType +
           ";\n"
           "Categories=Office;\n";
}

// Runs a tool found on PATH with its output discarded; true when it exits with status 0.
bool RunTool(std::vector<std::string> arguments)
{
    std::vector<char*> argv;
    for (std::string& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        return false;
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0)
        if (errno != EINTR)
            return false;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::string Trim(const std::string& text)
{
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

std::vector<std::string> SplitList(const std::string& list)
{
    std::vector<std::string> items;
    std::size_t start = 0;
    while (start <= list.size()) {
        const std::size_t end = std::min(list.find(';', start), list.size());
        const std::string item = Trim(list.substr(start, end - start));
        if (!item.empty())
            items.push_back(item);
        start = end + 1;
    }
    return items;
}

// The list without Pelmora's entries, each item followed by ';'.
std::string ListWithout(const std::string& list)
{
    std::string kept;
    for (const std::string& item : SplitList(list))
        if (item != CFileAssociation::kDesktopId && item != CFileAssociation::kPackageDesktopId)
            kept += item + ';';
    return kept;
}

std::vector<std::string> SplitLines(const std::string& text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

// Makes Pelmora's entry the first default for the type and takes Pelmora off the type's removed
// list; every other line, comment and group stays as it was. Earlier defaults follow Pelmora as
// fallbacks.
std::string SetDefaultApplication(const std::string& text, const std::string& key,
                                  const std::string& desktopId)
{
    std::vector<std::string> lines;
    std::string group;
    std::size_t defaultHeader = std::string::npos;
    bool defaultSet = false;
    for (const std::string& line : SplitLines(text)) {
        const std::string trimmed = Trim(line);
        const std::size_t equals = line.find('=');
        if (!trimmed.empty() && trimmed[0] == '[') {
            group = trimmed;
            if (group == kDefaultGroup && defaultHeader == std::string::npos)
                defaultHeader = lines.size();
        } else if (equals != std::string::npos && Trim(line.substr(0, equals)) == key) {
            const std::string others = ListWithout(line.substr(equals + 1));
            if (group == kDefaultGroup) {
                if (defaultSet)
                    continue;
                defaultSet = true;
                lines.push_back(key + '=' + desktopId + ';' + others);
                continue;
            }
            if (group == kRemovedGroup) {
                if (!others.empty())
                    lines.push_back(key + '=' + others);
                continue;
            }
        }
        lines.push_back(line);
    }
    const std::string entry = key + '=' + desktopId + ';';
    if (!defaultSet && defaultHeader != std::string::npos) {
        lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(defaultHeader) + 1, entry);
    } else if (!defaultSet) {
        if (!lines.empty() && !Trim(lines.back()).empty())
            lines.emplace_back();
        lines.emplace_back(kDefaultGroup);
        lines.push_back(entry);
    }
    std::string result;
    for (const std::string& line : lines)
        result += line + '\n';
    return result;
}

// Both notebook types, plain and encrypted, open with the entry.
bool UpdateMimeApps(const std::string& configHome, const std::string& desktopId)
{
    const std::string path = configHome + "/mimeapps.list";
    std::string text;
    if (::access(path.c_str(), F_OK) == 0 && !ReadWholeFile(path, text))
        return false;
    text = SetDefaultApplication(text, CFileAssociation::kMimeType, desktopId);
    text = SetDefaultApplication(text, CFileAssociation::kEncryptedMimeType, desktopId);
    return WriteFileAtomically(path, text);
}

// The entry an earlier association wrote would show Pelmora twice in the menus and outlive the
// package; only an entry that is Pelmora's own goes.
bool RemoveOwnEntry(const std::string& applications)
{
    const std::string own = applications + '/' + CFileAssociation::kDesktopId;
    std::string text;
    if (::access(own.c_str(), F_OK) != 0)
        return true;
    if (!ReadWholeFile(own, text) || text.find("\nName=Pelmora\n") == std::string::npos ||
        text.find(std::string("MimeType=") + CFileAssociation::kMimeType) == std::string::npos)
        return true;
    return ::unlink(own.c_str()) == 0 && RunTool({"update-desktop-database", applications});
}

bool RegisterWithPackageEntry()
{
    const std::string dataHome = XdgDataHome();
    const std::string configHome = XdgConfigHome();
    if (dataHome.empty() || configHome.empty())
        return false;
    return RemoveOwnEntry(dataHome + "/applications") && MakeFolders(configHome) &&
           UpdateMimeApps(configHome, CFileAssociation::kPackageDesktopId);
}

bool RegisterWithDesktop(const std::string& programPath)
{
    const std::string dataHome = XdgDataHome();
    const std::string configHome = XdgConfigHome();
    if (dataHome.empty() || configHome.empty())
        return false;
    const std::string mime = dataHome + "/mime";
    const std::string applications = dataHome + "/applications";
    return MakeFolders(mime + "/packages") &&
           WriteFileAtomically(mime + "/packages/" + kMimePackage, MimePackage()) &&
           RunTool({"update-mime-database", mime}) && MakeFolders(applications) &&
           WriteFileAtomically(applications + '/' + CFileAssociation::kDesktopId,
                               DesktopEntry(programPath)) &&
           RunTool({"update-desktop-database", applications}) && MakeFolders(configHome) &&
           UpdateMimeApps(configHome, CFileAssociation::kDesktopId);
}

} // namespace

bool CFileAssociation::Associate(const std::string& programPath)
{
    // A desktop entry can only start a program named by an absolute path on one line.
    if (programPath.empty() || programPath[0] != '/' || HasControlCharacter(programPath))
        return false;
    if (!WriteRegistryCommand(programPath))
        return false;
    return FindPackageEntry().empty() ? RegisterWithDesktop(programPath) : RegisterWithPackageEntry();
}

std::string CFileAssociation::FindPackageEntry()
{
    const char* dirs = std::getenv("XDG_DATA_DIRS");
    const std::string list = dirs && *dirs ? dirs : "/usr/local/share:/usr/share";
    std::size_t start = 0;
    while (start <= list.size()) {
        const std::size_t end = std::min(list.find(':', start), list.size());
        const std::string folder = list.substr(start, end - start);
        start = end + 1;
        // Relative folders do not count, as the rules for these variables say.
        if (folder.empty() || folder[0] != '/')
            continue;
        const std::string entry = folder + "/applications/" + kPackageDesktopId;
        if (::access(entry.c_str(), R_OK) == 0)
            return entry;
    }
    return {};
}

std::string CFileAssociation::QuoteExecArgument(const std::string& argument)
{
    const bool needsQuotes = argument.find_first_of(" \t\n\"'\\><~|&;$*?#()`") != std::string::npos;
    std::string quoted = needsQuotes ? "\"" : "";
    for (const char c : argument) {
        if (needsQuotes && std::strchr("\"`$\\", c))
            quoted += '\\';
        quoted += c;
        if (c == '%')
            quoted += '%';
    }
    if (needsQuotes)
        quoted += '"';
    // The string rules of the file itself apply on top: each backslash is written twice.
    std::string escaped;
    for (const char c : quoted) {
        if (c == '\\')
            escaped += '\\';
        escaped += c;
    }
    return escaped;
}
