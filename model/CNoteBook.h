#pragma once

#include "model/CFilePath.h"
#include "model/CNote.h"
#include "model/CReleasedNotes.h"
#include "model/CTextCodec.h"
#include "model/CTitleSorter.h"
#include "model/CViewSettings.h"
#include "model/NoteChanges.h"
#include "model/TextHash.h"
#include "platform/HugePageAllocator.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class CMappedFile;
class CBatchMemory;
class CNoteBookSecret;
class INoteBookFrame;

// A place in the notebook's order: 0 is none, otherwise one past the note's index. Valid while
// no note is added or removed.
using NotePosition = std::size_t;

// The open notebook: its notes in list and file order, the password, the path and whether
// anything changed since the last save.
class CNoteBook
{
public:
    CNoteBook();
    ~CNoteBook();
    CNoteBook(const CNoteBook&) = delete;
    CNoteBook& operator=(const CNoteBook&) = delete;

    CNote* AddNote(bool atTail, bool markModified);
    // A note read from a file at the tail: with its title as stored, or the default one without;
    // in a slot of room when it has one left. The reader counts the change once, for all its notes.
    CNote* AddReadNote(std::optional<std::string> title, CBatchMemory* room = nullptr);
    // A note read on another thread, made Unnumbered, at the tail: it takes the next serial number.
    CNote* AddReadNote(std::unique_ptr<CNote> note);
    // Room for this many notes, so that reading a large notebook grows nothing note by note.
    void Reserve(std::size_t notes);

    NotePosition GetNextPosition(NotePosition position) const;
    CNote* GetNoteAt(NotePosition position) const;

    std::size_t GetCount() const { return m_notes.size(); }
    CNote* GetNoteAtIndex(std::size_t index) const { return m_notes[index].get(); }
    // The index of the note with this serial, or -1.
    std::ptrdiff_t IndexOf(std::int32_t serial) const;

    CNote* FindNote(std::int32_t serial) const;
    void RemoveNote(std::int32_t serial);
    void MoveNote(std::int32_t serial, bool up);
    // The order is found by aside where given (a worker while a window paints: it only reads the
    // titles) and taken on the caller's thread; false, and nothing moved, when aside says so.
    using SortAside = std::function<bool(const std::function<bool()>& findOrder)>;
    bool SortByTitle(const SortAside& aside = {});
    void Clear();

    void SetModified()
    {
        m_modified = true;
        CountNoteChange();
    }
    bool IsModified() const { return m_modified; }
    void SetModifiedFlag(bool modified) { m_modified = modified; }
    // Grows with every change of the notes, their order, the view or the password, marked or not;
    // work made in steps (a recovery copy, the search's count) starts again when it moves. The count
    // is the process's: a change to any note moves it.
    std::uint64_t GetChangeCount() const { return NoteChangeCount(); }

    const std::string& GetPassword() const { return m_password; }
    void SetPassword(std::string password)
    {
        m_password = std::move(password);
        CountNoteChange();
    }

    // An encrypted notebook's passphrase and key; null for a plain notebook, which is how a
    // notebook read from a plain file starts. Saves follow it: encrypted while it is set.
    const std::shared_ptr<const CNoteBookSecret>& GetSecret() const { return m_secret; }
    void SetSecret(std::shared_ptr<const CNoteBookSecret> secret)
    {
        m_secret = std::move(secret);
        CountNoteChange();
    }

    // The file the texts not yet read lie in; the notebook keeps it until it is cleared.
    void SetStoredFile(std::shared_ptr<CMappedFile> file) { m_storedFile = std::move(file); }
    std::shared_ptr<const CMappedFile> GetStoredFile() const { return m_storedFile; }
    // False when another program changed that file since it was read: the texts not yet read are
    // then lost, and a save would have to leave them out. Asks the system.
    bool StoredTextsIntact() const;
    // After a save of ours: the file read may have been moved aside, which is no change of its texts.
    void RenewStoredFile();
    // Asks the reads that follow to hash each text as they find it, for a merge that would
    // otherwise read every text once more.
    void HashTextsOnRead() { m_hashTextsOnRead = true; }
    // Where the read puts those hashes, or null when none were asked for.
    std::vector<StoredTextHash>* GetReadTextHashes()
    {
        return m_hashTextsOnRead ? &m_readTextHashes : nullptr;
    }
    // Whether the note's text is still where the read found it, in the notebook's file, not read.
    bool IsInStoredFile(const CNote& note) const
    {
        return note.HasStoredText() && note.GetStoredText().file == m_storedFile.get();
    }
    // The hash the read took of the note's text, or null when the text is no longer the one read.
    const TextHash* FindReadTextHash(std::size_t index) const;
    // Keeps a file of the process's own that notes' texts were moved out to (see CTextSpill).
    void KeepTextFile(std::shared_ptr<CMappedFile> file) { m_textFiles.push_back(std::move(file)); }
    // Lets go of those files no note reads from any more.
    void SweepTextFiles();
    std::size_t GetTextFileCount() const { return m_textFiles.size(); }
    // A note whose text was lost that way, or null.
    const CNote* FindLostText() const;
    // Every note whose text was still in the file when another program changed the file.
    std::vector<const CNote*> FindLostTexts() const;
    // Those notes keep their titles with empty texts, and the changed file is let go: the notebook
    // can be written again. Counts as a change.
    void GiveUpLostTexts();

    CFilePath& GetPath() { return m_path; }
    const CFilePath& GetPath() const { return m_path; }

    INoteBookFrame* GetMainFrame();
    // Tells this notebook from every other one made in this process, whatever its address.
    std::uint64_t GetIdentity() const { return m_identity; }

    // Save and Open: each reports its failures itself and returns false. A save with a backup
    // folder keeps the file it replaces there.
    bool WriteFile(const std::string& path, const std::string& backupFolder = {});
    bool ReadFile(const std::string& path);

    // What the last read found, and what the writer uses when there is no main window.
    CViewSettings& GetViewSettings() { return m_viewSettings; }
    const CViewSettings& GetViewSettings() const { return m_viewSettings; }
    // Whether the last read had to fill the file out: it held fewer notes than its header counts,
    // or bytes after its last note. Such a notebook opens, but cannot tell which notes it lost. A
    // save clears it.
    bool WasFilledOut() const { return m_filledOut; }
    void SetFilledOut(bool filledOut) { m_filledOut = filledOut; }
    // The version field of the file read; 0 for a notebook never read.
    std::uint32_t GetFileVersion() const { return m_fileVersion; }
    void SetFileVersion(std::uint32_t version) { m_fileVersion = version; }
    // The notebook's code page: the password and every new or edited string are stored in it.
    // A notebook is Windows-1252 when its file holds any string that is not UTF-8.
    TextEncoding GetEncoding() const { return m_encoding; }
    // As read or loaded: unedited strings keep their own code page.
    void SetEncoding(TextEncoding encoding);
    // The user's word: marks the notebook modified, and the next save stores every string in it.
    void ChangeEncoding(TextEncoding encoding);
    // The code page the next save stores a string in, given the one it was read in.
    TextEncoding CodePageFor(std::optional<TextEncoding> own) const
    {
        return m_recode ? m_encoding : own.value_or(m_encoding);
    }
    // Whether the next save would meet a character its code page lacks: then note is the first
    // note holding one, or null when it is the password.
    bool FindUnstorable(const CNote*& note) const;
    // After a save every string stands in the file in the code page it was written in.
    void SettleCodePages();

    // Titles compare as the Windows program sorted them: the bytes stored in the file, with A to
    // Z folded to a to z, as unsigned values.
    static int CompareTitles(const std::string& a, const std::string& b,
                             TextEncoding codePageA = TextEncoding::utf8,
                             TextEncoding codePageB = TextEncoding::utf8);

private:
    CNote* Adopt(std::unique_ptr<CNote> note, bool atTail);
    bool IsLost(const CNote& note, bool fileIntact) const;
    void TraceExchanges(const CTitleSorter::Places& order) const;

    CFilePath m_path;
    bool m_modified = false;
    INoteBookFrame* m_mainFrame = nullptr;
    bool m_mainFrameLooked = false;
    // A million notes' lists are fresh memory filled at once: they take huge pages.
    CReleasedNotes::Notes m_notes;
    // Indexed by serial number; null where a note was removed or belongs to another notebook.
    CReleasedNotes::BySerial m_bySerial;
    std::string m_password;
    std::shared_ptr<const CNoteBookSecret> m_secret;
    std::shared_ptr<CMappedFile> m_storedFile;
    std::vector<std::shared_ptr<CMappedFile>> m_textFiles;
    bool m_hashTextsOnRead = false;
    std::vector<StoredTextHash> m_readTextHashes;
    CViewSettings m_viewSettings;
    std::uint32_t m_fileVersion = 0;
    bool m_filledOut = false;
    TextEncoding m_encoding = TextEncoding::utf8;
    bool m_recode = false;
    std::uint64_t m_identity;
};
