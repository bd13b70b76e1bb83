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

std::string CFileException::Reason(long osError)
{
    switch (osError) {
    case ENOSPC:
    case EDQUOT:
        return "The disk is full.";
    case EFBIG:
        return "The file is larger than the disk or the system allows.";
    case EACCES:
    case EPERM:
        return "Permission denied.";
    case EROFS:
        return "The disk is read-only.";
    case EIO:
        return "The disk reported an input/output error.";
    case EWOULDBLOCK:
        return "Another program has the file open.";
    default:
        if (osError <= 0)
            return {};
        std::string text = std::strerror(static_cast<int>(osError));
        return text + ".";
    }
}
