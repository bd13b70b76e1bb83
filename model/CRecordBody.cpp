#include "model/CRecordBody.h"

#include "model/CByteBuffer.h"
#include "platform/CFileWindow.h"

bool CRecordBody::NextField(Field& field)
{
    std::uint32_t count = 0;
    if (m_length - m_at < sizeof count)
        return false;
    CByteBuffer::DecipherAt(View(m_at, sizeof count), sizeof count, m_at,
                            reinterpret_cast<std::uint8_t*>(&count), kNoteBookKey);
    m_at += sizeof count;
    if (count == 0 || count > m_length - m_at)
        return false;
    field = {m_at, count};
    m_at += count;
    return true;
}

std::string CRecordBody::Deciphered(const Field& field) const
{
    std::string out(field.count, '\0');
    CByteBuffer::DecipherAt(View(field.place, field.count), field.count, field.place,
                            reinterpret_cast<std::uint8_t*>(out.data()), kNoteBookKey);
    return out;
}

const std::uint8_t* CRecordBody::View(std::uint32_t at, std::size_t count) const
{
    return CFileWindow::OfThisThread().View(m_file, m_place + at, count);
}
