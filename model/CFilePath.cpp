#include "model/CFilePath.h"

#include "platform/PathNames.h"

#include <climits>

std::size_t CFilePath::MaxLength()
{
    return PATH_MAX - 1; // PATH_MAX counts the terminator
}

bool CFilePath::SetPath(const std::string& path)
{
    if (path.size() > MaxLength())
        return false;
    m_path = path;
    m_fileName.clear();
    m_baseName.clear();
    return true;
}

const std::string& CFilePath::GetFileName() const
{
    if (m_fileName.empty())
        m_fileName = FileNameOf(m_path);
    return m_fileName;
}

const std::string& CFilePath::GetBaseName() const
{
    if (m_baseName.empty()) {
        const std::string& name = GetFileName();
        const auto dot = name.rfind('.');
        m_baseName = dot == std::string::npos ? name : name.substr(0, dot);
    }
    return m_baseName;
}

void CFilePath::Clear()
{
    m_path.clear();
    m_fileName.clear();
    m_baseName.clear();
}
