#pragma once

#include "model/PasswordPrompt.h"

#include <string>

// Where the tool finds the password of a locked notebook: a file named on the command line, then
// PELMORA_PASSWORD, then a prompt without echo when standard input is a terminal. The passphrase
// of an encrypted notebook comes from its own file when one is named, otherwise from the same
// places. Answers the reader's questions for as long as it lives.
class CPasswordSource
{
public:
    CPasswordSource(std::string passwordFile, std::string passphraseFile);
    ~CPasswordSource();
    CPasswordSource(const CPasswordSource&) = delete;
    CPasswordSource& operator=(const CPasswordSource&) = delete;

    // False when none of the sources gives one. Raises std::runtime_error when the file cannot be read.
    bool Get(const std::string& prompt, std::string& password);
    bool GetPassphrase(const std::string& prompt, std::string& passphrase);
    // A password was wanted and nothing gave one.
    bool WentUnanswered() const { return m_unanswered; }

private:
    static void ReadFile(const std::string& path, std::string& text);
    static bool ReadFromTerminal(const std::string& prompt, std::string& password);

    std::string m_passwordFile;
    std::string m_passphraseFile;
    bool m_unanswered = false;
    PasswordHandler m_previous;
    PasswordHandler m_previousPassphrase;
};
