#include "platform/desktop/CRecentlyUsed.h"

#include "platform/XdgPaths.h"

#include <glib.h>

#include <memory>

namespace {

struct GFreeDeleter
{
    void operator()(void* p) const { g_free(p); }
};
struct BookmarkDeleter
{
    void operator()(GBookmarkFile* p) const { g_bookmark_file_free(p); }
};
struct ErrorDeleter
{
    void operator()(GError* p) const { g_error_free(p); }
};

} // namespace

std::string CRecentlyUsed::ListPath()
{
    const std::string dataHome = XdgDataHome();
    return dataHome.empty() ? std::string() : dataHome + "/recently-used.xbel";
}

bool CRecentlyUsed::Add(const std::string& path, const std::string& mimeType)
{
    const std::string list = ListPath();
    if (list.empty() || path.empty() || path[0] != '/')
        return false;
    std::unique_ptr<char, GFreeDeleter> uri(g_filename_to_uri(path.c_str(), nullptr, nullptr));
    if (!uri)
        return false;
    std::unique_ptr<GBookmarkFile, BookmarkDeleter> bookmarks(g_bookmark_file_new());
    GError* raw = nullptr;
    if (!g_bookmark_file_load_from_file(bookmarks.get(), list.c_str(), &raw)) {
        std::unique_ptr<GError, ErrorDeleter> error(raw);
        // Only a list that is not there yet may be started afresh.
        if (!g_error_matches(error.get(), G_FILE_ERROR, G_FILE_ERROR_NOENT))
            return false;
    }
    g_bookmark_file_set_mime_type(bookmarks.get(), uri.get(), mimeType.c_str());
    g_bookmark_file_add_application(bookmarks.get(), uri.get(), kApplication, kExec);
    g_bookmark_file_set_is_private(bookmarks.get(), uri.get(), FALSE);
    const std::string folder = list.substr(0, list.rfind('/'));
    if (g_mkdir_with_parents(folder.c_str(), 0700) != 0)
        return false;
    raw = nullptr;
    // GLib replaces the file as a whole.
    const bool written = g_bookmark_file_to_file(bookmarks.get(), list.c_str(), &raw);
    if (raw)
        g_error_free(raw);
    return written;
}
