#pragma once

#include <string>

// Makes Pelmora the program that opens .pelm files for this user: the Windows-style command key
// in the registry store, and for the desktop a MIME type, a desktop entry and the default
// application setting. Needs no administrator rights; running it again gives the same files.
class CFileAssociation
{
public:
    static constexpr const char* kMimeType = "application/x-pelmora-notebook";
    // Encrypted notebooks (.pelmx) open with Pelmora too.
    static constexpr const char* kEncryptedMimeType = "application/x-pelmora-encrypted-notebook";
    static constexpr const char* kDesktopId = "pelmora.desktop";
    // The entry the Debian package installs, with the file types beside it.
    static constexpr const char* kPackageDesktopId = "io.github.orlathwick.pelmora.desktop";

    // programPath is the absolute path of the running program. True only when every part was
    // written and the desktop's caches were rebuilt. With the package's entry installed, the file
    // types are set to open with that entry and no entry of the user's own is written; one an
    // earlier association wrote is taken away, so the menus show Pelmora once.
    static bool Associate(const std::string& programPath);

    // The package's desktop entry in the system's data folders ($XDG_DATA_DIRS), or empty.
    static std::string FindPackageEntry();

    // The Exec line's program argument, quoted and escaped as desktop entries require.
    static std::string QuoteExecArgument(const std::string& argument);
};
