#pragma once

#include "model/CTextCodec.h"

#include <string>

class CBufferedFile;
class CFile;
class CFileException;
class CNote;
class CNoteBook;
class CSealKey;

// Writes a notebook as a version-10 file, each string in the code page the notebook chooses for
// it; a character that code page lacks fails the save rather than being replaced. The file is
// written beside the target under a temporary name, pushed to the disk and then renamed over the
// target, so that a failed save (a full disk, a crash) leaves the previous file as it was.
class CNoteBookWriter
{
public:
    explicit CNoteBookWriter(CNoteBook& book);

    // On failure the reason has been shown, the notebook keeps its modified flag and path, and the
    // file on disk is unchanged unless it was replaced but could not be made durable (see
    // ReplacedFile). With a backup folder the replaced file is kept there.
    bool Write(const std::string& path, const std::string& backupFolder = {});
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
    // Takes the target for ourselves; false when it exists and cannot be had.
    static bool LockTarget(const std::string& target, CFile& lock, CFileException& error);
    static void ReportLostTexts();
    static void Report(const char* message, long osError);
    void WriteContents(CBufferedFile& out, CTextCodec& toWindows1252);
    // The contents go to memory first and reach the file only sealed.
    void WriteSealed(CFile& out, CTextCodec& toWindows1252, const CSealKey& key);

    CNoteBook& m_book;
    bool m_backupKept = false;
    bool m_replaced = false;
};
