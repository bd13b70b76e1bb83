#pragma once

#include "platform/CFileIdentity.h"

#include <string>

// The version of an open notebook that was last read or saved, kept on disk for as long as the
// notebook is open, so that a change another program makes can be merged against it: a hard link
// in the state folder where the file system allows (costing no copy, and encrypted as the notebook
// is), otherwise a copy. Removed when it is replaced or the store goes.
class CAncestorStore
{
public:
    // $XDG_STATE_HOME/pelmora/ancestors; empty when there is no home folder.
    static std::string DefaultFolder();

    explicit CAncestorStore(std::string folder);
    ~CAncestorStore();
    CAncestorStore(const CAncestorStore&) = delete;
    CAncestorStore& operator=(const CAncestorStore&) = delete;

    // Keeps the file at path as it is now, in place of what was kept; false (and nothing kept)
    // when it cannot be linked or copied.
    bool Keep(const std::string& path);
    void Drop();
    // The kept version; empty when none is, or when it changed since it was kept (a program that
    // writes the notebook in place writes the link too), for then it is no ancestor.
    std::string GetPath() const;

    // Removes the versions that Pelmoras which ended without closing their notebooks left behind.
    static void RemoveLeftBehind(const std::string& folder);

private:
    std::string m_folder;
    std::string m_kept;
    CFileIdentity m_identity;
};
