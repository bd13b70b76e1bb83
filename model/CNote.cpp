#include "model/CNote.h"

#include "model/CBufferedFile.h"
#include "model/CByteBuffer.h"
#include "model/CTextCodec.h"

#include <cstring>
#include <new>

std::int32_t CNote::s_nextSerial = 1;

CNote::CNote(const std::string& title, std::string text)
    : m_text(std::move(text)), m_title(title.empty() ? "New Note " + std::to_string(s_nextSerial) : title),
      m_serial(s_nextSerial)
{
    ++s_nextSerial;
}

namespace {

// Takes a length field and that many bytes; the string ends at its first zero byte. A field that
// would pass the end of the body, or that is missing, copies nothing and keeps its value: a record
// without a body leaves the note's default title.
void GetField(CByteBuffer& body, std::string& field)
{
    std::uint32_t count = 0;
    body.Get(&count, sizeof count);
    if (count == 0 || count > body.GetRemaining())
        return;
    field.resize(count);
    body.Get(field.data(), count);
    field.resize(std::strlen(field.c_str()));
}

} // namespace

void CNote::WriteRecord(CBufferedFile& file, CTextCodec* codec) const
{
    std::string title;
    std::string text;
    if (codec && (!codec->Convert(m_title, title) || !codec->Convert(m_text, text)))
        throw CFileException(CFileException::invalidFile, -1);
    const std::string& storedTitle = codec ? title : m_title;
    const std::string& storedText = codec ? text : m_text;

    const std::uint64_t titleSize = storedTitle.size() + 1;
    const std::uint64_t textSize = storedText.size() + 1;
    const std::uint64_t length = titleSize + textSize + 8;
    if (length > UINT32_MAX)
        throw CFileException(CFileException::invalidFile, -1);
    const auto t = static_cast<std::uint32_t>(titleSize);
    const auto x = static_cast<std::uint32_t>(textSize);
    const auto l = static_cast<std::uint32_t>(length);

    CByteBuffer body;
    if (!body.Allocate(l))
        throw std::bad_alloc();
    body.Put(&t, sizeof t);
    body.Put(storedTitle.c_str(), t);
    body.Put(&x, sizeof x);
    body.Put(storedText.c_str(), x);
    body.Encipher(kNoteBookKey);

    file.Write(&m_serial, sizeof m_serial);
    file.Write(&l, sizeof l);
    file.Write(body.GetData(), l);
}

void CNote::ReadRecord(CBufferedFile& file)
{
    // A record cut short in its serial or length keeps 0 for the rest, as the header does.
    std::int32_t storedSerial = 0;
    std::uint32_t length = 0;
    file.Read(&storedSerial, sizeof storedSerial);
    file.Read(&length, sizeof length);
    // Checked before taking memory, so that a damaged length cannot ask for more than the file has.
    if (length > file.GetRemaining())
        throw CFileException(CFileException::invalidFile, -1);

    CByteBuffer body;
    if (!body.Allocate(length))
        throw std::bad_alloc();
    if (file.Read(body.GetData(), length) < length)
        throw CFileException(CFileException::invalidFile, -1);
    body.Decipher(kNoteBookKey);
    GetField(body, m_title);
    GetField(body, m_text);
}
