#pragma once

#include "model/CTextCodec.h"

#include <string>

class CBufferedFile;
class CFile;
class CNoteBook;

// Writes a notebook as a version-10 file. The file is written beside the target under a temporary
// name, pushed to the disk and then renamed over the target, so that a failed save (a full disk, a
// crash) leaves the previous file as it was.
class CNoteBookWriter
{
public:
    explicit CNoteBookWriter(CNoteBook& book);

    // On failure the reason has been shown, the notebook keeps its modified flag and path, and the
    // file on disk is unchanged.
    bool Write(const std::string& path);

private:
    // Takes the target for ourselves; false when it exists and cannot be had.
    static bool LockTarget(const std::string& target, CFile& lock);
    TextEncoding ChooseEncoding() const;
    void WriteContents(CBufferedFile& out, CTextCodec* codec);

    CNoteBook& m_book;
};
