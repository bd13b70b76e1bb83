#pragma once

#include <string>

// The notebook's path with its file name and base name, derived on demand.
class CFilePath
{
public:
    // Refuses a path longer than the system allows and keeps the old one.
    bool SetPath(const std::string& path);
    const std::string& GetPath() const { return m_path; }
    bool HasPath() const { return !m_path.empty(); }
    const std::string& GetFileName() const;
    const std::string& GetBaseName() const;
    void Clear();

    static std::size_t MaxLength();

private:
    std::string m_path;
    mutable std::string m_fileName;
    mutable std::string m_baseName;
};
