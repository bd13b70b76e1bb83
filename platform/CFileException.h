#pragma once

#include <exception>
#include <string>

// Raised by CFile, and by the notebook reader for a refused password or a damaged record.
class CFileException : public std::exception
{
public:
    enum Cause
    {
        none = 0,
        genericException = 1,
        fileNotFound = 2,
        badPath = 3,
        tooManyOpenFiles = 4,
        accessDenied = 5,
        invalidFile = 6,
        removeCurrentDir = 7,
        directoryFull = 8,
        badSeek = 9,
        hardIO = 10,
        sharingViolation = 11,
        lockViolation = 12,
        diskFull = 13,
        endOfFile = 14,
    };

    CFileException(int cause = none, long osError = -1, std::string fileName = {});

    int m_cause;
    long m_lOsError;
    std::string m_strFileName;

    const char* what() const noexcept override;

    // Maps an errno value to the nearest cause.
    static int CauseFromErrno(int error);
    // Why, in the user's words ("The disk is full."); empty when the system gave no reason.
    static std::string Reason(long osError);

private:
    std::string m_what;
};
