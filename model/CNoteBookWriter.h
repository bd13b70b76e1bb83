#pragma once

#include "model/CTextCodec.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class CBufferedFile;
class CFile;
class CFileException;
class CNote;
class CNoteBook;
class CSealKey;
struct TextInFile;

// Writes a notebook as a version-10 file, each string in the code page the notebook chooses for
// it; a character that code page lacks fails the save rather than being replaced. The file is
// written beside the target under a temporary name, pushed to the disk and then renamed over the
// target, so that a failed save (a full disk, a crash) leaves the previous file as it was.
class CNoteBookWriter
{
public:
    explicit CNoteBookWriter(CNoteBook& book);
    ~CNoteBookWriter();
    CNoteBookWriter(const CNoteBookWriter&) = delete;
    CNoteBookWriter& operator=(const CNoteBookWriter&) = delete;

    // On failure the reason has been shown, the notebook keeps its modified flag and path, and the
    // file on disk is unchanged unless it was replaced but could not be made durable (see
    // ReplacedFile). With a backup folder the replaced file is kept there. Saved as another file,
    // the texts not yet read are read from the new file from then on, and the old may change.
    bool Write(const std::string& path, const std::string& backupFolder = {});

    // The same write in steps, for a caller that keeps a window answering between them: Begin,
    // Step until done, then Finish. Each returns false on a failure it has shown, after which the
    // save is over. The notebook must not change from Begin to the end. Work that touches neither
    // the notes nor the window and can take long, aside runs where the caller likes (a worker
    // while the window paints); without it, in line.
    using Aside = std::function<bool(const std::function<bool()>& work)>;
    // An encrypted notebook's new key is made aside: that takes as long as a large save.
    bool Begin(const std::string& path, const std::string& backupFolder = {}, const Aside& aside = {});
    // Writes up to count more notes, and stops early once about bytes more are written; done once
    // every note is written.
    bool Step(std::size_t count, std::uint64_t bytes, bool& done);
    // Makes the file durable and puts it in the target's place; sealing and syncing a large file,
    // which touch only the file, can take seconds and run aside.
    bool Finish(const Aside& aside = {});
    // Before Finish: the file on disk stays as it was and the notebook as it is.
    void Cancel();
    std::size_t GetWritten() const;
    // Whether the last Write with a backup folder kept the file it replaced there.
    bool BackupKept() const { return m_backupKept; }
    // Whether the last Write put the new file in the target's place, failed or not.
    bool ReplacedFile() const { return m_replaced; }

    // The pieces of the file, for a copy written note by note (the recovery copy); each raises
    // CFileException. The header and the password block:
    void WriteHeader(CBufferedFile& out, CTextCodec& toWindows1252);
    // One note's record, each string in the code page the notebook gives it.
    void WriteNote(CBufferedFile& out, const CNote& note, CTextCodec& toWindows1252);

private:
    class CSaving;

    // Takes the target for ourselves; false when it exists and cannot be had.
    static bool LockTarget(const std::string& target, CFile& lock, CFileException& error);
    static void ReportLostTexts();
    static void Report(const char* message, long osError);
    bool Open(const Aside& aside);
    // Writes the notes from the next one up to list place end, their bodies read beforehand.
    void WriteRun(std::size_t end);
    // Reports a failed write and ends the save.
    bool Fail(const CFileException& error);
    bool Commit(const Aside& aside);
    bool StoredFilesIntact() const;
    void Settle();
    TextInFile PlacedAnew(const CNote& note, std::uint64_t body);
    void Repoint();

    CNoteBook& m_book;
    std::unique_ptr<CSaving> m_saving;
    bool m_backupKept = false;
    bool m_replaced = false;
};
