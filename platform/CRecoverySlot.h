#pragma once

#include "platform/CFileIdentity.h"

#include <string>
#include <vector>

// One open notebook's place in the recovery folder ($XDG_STATE_HOME/pelmora/recovery), named by a
// key: KEY.lock is locked (flock) for as long as a Pelmora has the notebook open, KEY.path holds
// the notebook's path, KEY.base what the notebook's file was when the changes began, and KEY.pelm (KEY.pelmx
// for an encrypted notebook) the recovery copy. The lock goes with the process, so a copy whose lock is free
// was left by a Pelmora that ended without saving. The place that belongs to a path is also how a second
// Pelmora learns that the notebook is open already.
class CRecoverySlot
{
public:
    // A copy left behind: its key, the copy and the notebook it belongs to (empty: never saved).
    struct LeftBehind
    {
        std::string key;
        std::string copyPath;
        std::string notebookPath;
        // The notebook's file as the changes in the copy found it; empty when not known.
        CFileIdentity base;
    };

    static std::string DefaultFolder();
    // The copies in the folder that no running Pelmora holds.
    static std::vector<LeftBehind> FindLeftBehind(const std::string& folder);

    enum class Result
    {
        Taken,
        // Another Pelmora holds the place: it has the notebook open.
        HeldElsewhere,
        // The folder cannot be made or written: no recovery copies.
        Unavailable
    };

    explicit CRecoverySlot(std::string folder);
    // Gives the place up; the copy stays.
    ~CRecoverySlot();
    CRecoverySlot(const CRecoverySlot&) = delete;
    CRecoverySlot& operator=(const CRecoverySlot&) = delete;

    // Takes the place that belongs to the notebook at path.
    Result TakeForPath(const std::string& path);
    // Takes a place of its own, for a notebook without a path or one that is open elsewhere too.
    Result TakeUnique(const std::string& path);
    // Takes a place left behind, with its copy.
    Result TakeLeftBehind(const LeftBehind& left);

    bool IsTaken() const { return m_lock >= 0; }
    const std::string& GetNotebookPath() const { return m_notebookPath; }
    // The copy's path; encrypted copies have an extension of their own.
    std::string GetCopyPath(bool encrypted) const;
    // The copy that is there, or empty.
    std::string FindCopy() const;
    // Records the notebook's path beside the copy, and what its file was when the changes began.
    bool WriteRecords(const CFileIdentity& base) const;
    // The two records apart: the path before a copy is written, the base only once the copy it
    // belongs to is in place, so that a copy that failed never stands beside a newer base.
    bool WritePath() const;
    bool WriteBase(const CFileIdentity& base) const;
    CFileIdentity ReadBase() const;
    // Moves the copy into another place; false when it stays here.
    bool MoveCopyTo(const CRecoverySlot& other) const;
    // Removes the copy and its record; the place stays taken.
    void RemoveCopy() const;

private:
    Result Take(const std::string& key, const std::string& path);
    void Release();
    std::string File(const std::string& suffix) const { return m_folder + "/" + m_key + suffix; }

    std::string m_folder;
    std::string m_key;
    std::string m_notebookPath;
    bool m_unique = false;
    int m_lock = -1;
};
