#pragma once

#include "platform/DebugTrace.h"
#include "platform/MessageBox.h"

#include <deque>
#include <string>
#include <vector>

// Collects trace lines for as long as it lives.
class TraceCapture
{
public:
    TraceCapture()
    {
        m_previous = SetTraceSink([this](const std::string& line) { lines.push_back(line); });
    }
    ~TraceCapture() { SetTraceSink(std::move(m_previous)); }

    std::vector<std::string> lines;

private:
    TraceSink m_previous;
};

// The first line of every message of a save that failed.
inline const char* const kCannotWrite = "ERROR: Could not write file.";

// Records every message box and answers with queued answers, then with the default button.
class MessageBoxRecorder
{
public:
    struct Box
    {
        std::string text;
        unsigned style;
        std::string caption;
    };

    MessageBoxRecorder()
    {
        m_previous =
            SetMessageBoxHandler([this](const std::string& text, unsigned style, const std::string& caption) {
                boxes.push_back({text, style, caption});
                if (answers.empty())
                    return DefaultMessageBoxAnswer(style);
                const int answer = answers.front();
                answers.pop_front();
                return answer;
            });
    }
    ~MessageBoxRecorder() { SetMessageBoxHandler(std::move(m_previous)); }

    std::vector<Box> boxes;
    std::deque<int> answers;

private:
    MessageBoxHandler m_previous;
};
