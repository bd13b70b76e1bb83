#pragma once

#include "model/CTextCodec.h"

#include <string>

class CBufferedFile;
class CFile;
class CNoteBook;

// Writes a notebook as a version-10 file, each string in the code page the notebook chooses for
// it; a character that code page lacks fails the save rather than being replaced. The file is
// written beside the target under a temporary name, pushed to the disk and then renamed over the
// target, so that a failed save (a full disk, a crash) leaves the previous file as it was.
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
    void WriteContents(CBufferedFile& out, CTextCodec& toWindows1252);

    CNoteBook& m_book;
};
