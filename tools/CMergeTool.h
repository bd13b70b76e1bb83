#pragma once

#include "tools/CPasswordSource.h"

#include <string>

class CNoteBook;

// The notebook commands for version control and sync: a three-way merge with the exit status of a
// git merge driver, a note-by-note comparison and a plain-text view for git's textconv.
class CMergeTool
{
public:
    CMergeTool(std::string passwordFile, std::string passphraseFile);

    // Writes the merge of ours and theirs against base into out (ours when out is empty). An empty
    // base merges two-way. 0 clean, 1 notes were kept twice, 2 nothing written: a file could not be
    // read, or a side is damaged.
    int Merge(const std::string& base, const std::string& ours, const std::string& theirs,
              const std::string& out);
    // Notes added, removed, moved and changed from a to b, with the changed lines. 0 the same,
    // 1 different, 2 a notebook could not be read.
    int Diff(const std::string& a, const std::string& b);
    // Every note as a heading line and its text, for git diff. 0 done, 1 not read.
    int Show(const std::string& file);

private:
    bool Read(CNoteBook& book, const std::string& file);
    bool ReadToCompare(CNoteBook& book, const std::string& file);
    bool ReadSide(CNoteBook& book, const std::string& file);

    CPasswordSource m_password;
};
