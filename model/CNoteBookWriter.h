#pragma once

#include "model/CTextCodec.h"

#include <string>

class CBufferedFile;
class CFile;
class CNoteBook;
class CSealKey;

// Writes a notebook as a version-10 file. The file is written beside the target under a temporary
// name, pushed to the disk and then renamed over the target, so that a failed save (a full disk, a
// crash) leaves the previous file as it was.
class CNoteBookWriter
{
public:
    explicit CNoteBookWriter(CNoteBook& book);

    // On failure the reason has been shown, the notebook keeps its modified flag and path, and the
    // file on disk is unchanged. With a backup folder the replaced file is kept there.
    bool Write(const std::string& path, const std::string& backupFolder = {});

    // The pieces of the file, for a copy written note by note (the recovery copy).
    // The code page the file gets: the one it was read in where every character fits, else UTF-8.
    TextEncoding ChooseEncoding() const;
    // The header and the password block; raises CFileException.
    void WriteHeader(CBufferedFile& out, CTextCodec* codec);

private:
    // Takes the target for ourselves; false when it exists and cannot be had.
    static bool LockTarget(const std::string& target, CFile& lock);
    void WriteContents(CBufferedFile& out, CTextCodec* codec);
    // The contents go to memory first and reach the file only sealed.
    void WriteSealed(CFile& out, CTextCodec* codec, const CSealKey& key);

    CNoteBook& m_book;
};
