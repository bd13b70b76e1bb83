#pragma once

#include "model/PasswordPrompt.h"

#include <string>

// Where the tool finds the password of a locked notebook: a file named on the command line, then
// PELMORA_PASSWORD, then a prompt without echo when standard input is a terminal. Answers the
// reader's question for as long as it lives.
class CPasswordSource
{
public:
    explicit CPasswordSource(std::string passwordFile);
    ~CPasswordSource();
    CPasswordSource(const CPasswordSource&) = delete;
    CPasswordSource& operator=(const CPasswordSource&) = delete;

    // False when none of the sources gives one. Raises std::runtime_error when the file cannot be read.
    bool Get(const std::string& prompt, std::string& password);
    // A password was wanted and nothing gave one.
    bool WentUnanswered() const { return m_unanswered; }

private:
    static bool ReadFromTerminal(const std::string& prompt, std::string& password);

    std::string m_passwordFile;
    bool m_unanswered = false;
    PasswordHandler m_previous;
};
