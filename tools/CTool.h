#pragma once

#include "tools/CPasswordSource.h"
#include "views/search/CTextMatcher.h"

#include <string>
#include <vector>

class CNoteBook;

// The commands of pelmora-tool on the notebook model. Each returns the exit status: 0 done, 1 the
// reader, the writer or the input failed (the reason is on standard error). Grep answers as grep
// does: 0 found, 1 nothing found, 2 a bad pattern or a notebook it could not read.
class CTool
{
public:
    explicit CTool(std::string passwordFile);

    int Info(const std::string& file);
    int Dump(const std::string& file);
    int Load(const std::string& file);
    int Export(const std::string& file, const std::string& directory);
    int Import(const std::string& file, const std::vector<std::string>& paths);
    int Grep(const std::string& pattern, const std::string& file, const CTextMatcher::Options& options);

private:
    static CNoteBook& NoteBook();
    bool Read(CNoteBook& book, const std::string& file);

    CPasswordSource m_password;
};
