#pragma once

#include "tools/CPasswordSource.h"

#include <string>
#include <vector>

class CNoteBook;

// The commands of pelmora-tool on the notebook model. Each returns the exit status: 0 done, 1 the
// reader, the writer or the input failed (the reason is on standard error).
class CTool
{
public:
    explicit CTool(std::string passwordFile);

    int Info(const std::string& file);
    int Dump(const std::string& file);
    int Load(const std::string& file);
    int Export(const std::string& file, const std::string& directory);
    int Import(const std::string& file, const std::vector<std::string>& paths);

private:
    bool Read(CNoteBook& book, const std::string& file);

    CPasswordSource m_password;
};
