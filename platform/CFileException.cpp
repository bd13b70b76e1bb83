#include "platform/CFileException.h"

#include <cerrno>
#include <cstring>

CFileException::CFileException(int cause, long osError, std::string fileName)
    : m_cause(cause), m_lOsError(osError), m_strFileName(std::move(fileName))
{
    m_what = "file error " + std::to_string(m_cause);
    if (m_lOsError > 0) {
        m_what += ": ";
        m_what += std::strerror(static_cast<int>(m_lOsError));
    }
    if (!m_strFileName.empty())
        m_what += " (" + m_strFileName + ")";
}

const char* CFileException::what() const noexcept
{
    return m_what.c_str();
}

int CFileException::CauseFromErrno(int error)
{
    switch (error) {
    case 0:
        return none;
    case ENOENT:
        return fileNotFound;
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
        return badPath;
    case EMFILE:
    case ENFILE:
        return tooManyOpenFiles;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
        return accessDenied;
    case EWOULDBLOCK:
        return sharingViolation;
    case ENOSPC:
    case EFBIG:
    case EDQUOT:
        return diskFull;
    case EIO:
        return hardIO;
    default:
        return genericException;
    }
}
