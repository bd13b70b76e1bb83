#include "CNote.h"

std::int32_t CNote::s_nextSerial = 1;

CNote::CNote(const std::string& title, std::string text)
    : m_text(std::move(text)), m_title(title.empty() ? "New Note " + std::to_string(s_nextSerial) : title),
      m_serial(s_nextSerial)
{
    ++s_nextSerial;
}
