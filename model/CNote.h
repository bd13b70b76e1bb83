#pragma once

#include <cstdint>
#include <string>

class CFile;

// One note: a title and plain text (UTF-8), identified by a serial number that is unique among
// the notes made since the counter was last reset.
class CNote
{
public:
    explicit CNote(const std::string& title = {}, std::string text = {});
    CNote(const CNote&) = delete;
    CNote& operator=(const CNote&) = delete;

    const std::string& GetTitle() const { return m_title; }
    void SetTitle(std::string title) { m_title = std::move(title); }
    const std::string& GetText() const { return m_text; }
    void SetText(std::string text) { m_text = std::move(text); }
    std::string& Title() { return m_title; }
    std::string& Text() { return m_text; }
    std::int32_t GetSerial() const { return m_serial; }

    static void ResetSerials() { s_nextSerial = 1; }
    static std::int32_t PeekNextSerial() { return s_nextSerial; }

private:
    std::string m_text;
    std::string m_title;
    std::int32_t m_serial;

    static std::int32_t s_nextSerial;
};
