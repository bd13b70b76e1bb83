#pragma once

#include <string>

// The desktop's list of recently used files, $XDG_DATA_HOME/recently-used.xbel, written through
// GLib's bookmark file as GTK programs write it, so that file choosers and the desktop's "Recent"
// show the notebooks Pelmora opened and saved.
class CRecentlyUsed
{
public:
    static constexpr const char* kApplication = "Pelmora";
    static constexpr const char* kExec = "pelmora %u";

    // The file's entry is added or brought up to date with the file type and this program. False
    // when the list could not be read or written; a list GLib cannot read is left as it is.
    static bool Add(const std::string& path, const std::string& mimeType);
    static std::string ListPath();
};
