#pragma once

#include "model/PasswordPrompt.h"

#include <string>
#include <vector>

// Answers the reader's password question without a main window, for as long as it lives; records
// the prompts. An answer of "cancel" refuses.
class PasswordAnswer
{
public:
    explicit PasswordAnswer(std::string answer) : m_answer(std::move(answer))
    {
        m_previous = SetPasswordHandler([this](const std::string& prompt, std::string& password) {
            prompts.push_back(prompt);
            if (m_answer == "cancel")
                return false;
            password = m_answer;
            return true;
        });
    }
    ~PasswordAnswer() { SetPasswordHandler(std::move(m_previous)); }
    PasswordAnswer(const PasswordAnswer&) = delete;
    PasswordAnswer& operator=(const PasswordAnswer&) = delete;

    std::vector<std::string> prompts;

private:
    std::string m_answer;
    PasswordHandler m_previous;
};
