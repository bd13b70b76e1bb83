#include "tools/CPasswordSource.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <stdexcept>
#include <termios.h>
#include <unistd.h>

namespace {

void DropLineEnd(std::string& text)
{
    if (!text.empty() && text.back() == '\n')
        text.pop_back();
    if (!text.empty() && text.back() == '\r')
        text.pop_back();
}

} // namespace

CPasswordSource::CPasswordSource(std::string passwordFile, std::string passphraseFile)
    : m_passwordFile(std::move(passwordFile)), m_passphraseFile(std::move(passphraseFile))
{
    m_previous = SetPasswordHandler(
        [this](const std::string& prompt, std::string& password) { return Get(prompt, password); });
    m_previousPassphrase = SetPassphraseHandler([this](const std::string& prompt, std::string& passphrase) {
        return GetPassphrase(prompt, passphrase);
    });
}

CPasswordSource::~CPasswordSource()
{
    SetPassphraseHandler(std::move(m_previousPassphrase));
    SetPasswordHandler(std::move(m_previous));
}

void CPasswordSource::ReadFile(const std::string& path, std::string& text)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read the file " + path);
    text.assign(std::istreambuf_iterator<char>(in), {});
    DropLineEnd(text);
}

bool CPasswordSource::GetPassphrase(const std::string& prompt, std::string& passphrase)
{
    if (m_passphraseFile.empty())
        return Get(prompt, passphrase);
    ReadFile(m_passphraseFile, passphrase);
    return true;
}

bool CPasswordSource::Get(const std::string& prompt, std::string& password)
{
    if (!m_passwordFile.empty()) {
        ReadFile(m_passwordFile, password);
        return true;
    }
    if (const char* env = std::getenv("PELMORA_PASSWORD")) {
        password = env;
        return true;
    }
    if (::isatty(STDIN_FILENO) && ReadFromTerminal(prompt, password))
        return true;
    m_unanswered = true;
    return false;
}

bool CPasswordSource::ReadFromTerminal(const std::string& prompt, std::string& password)
{
    std::fprintf(stderr, "%s ", prompt.c_str());
    std::fflush(stderr);
    termios saved{};
    const bool quiet = ::tcgetattr(STDIN_FILENO, &saved) == 0;
    if (quiet) {
        termios silent = saved;
        silent.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &silent);
    }
    const bool read = static_cast<bool>(std::getline(std::cin, password));
    if (quiet)
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
    std::fputc('\n', stderr);
    DropLineEnd(password);
    return read;
}
