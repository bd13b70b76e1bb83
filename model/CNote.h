#pragma once

#include <cstdint>
#include <string>

class CBufferedFile;
class CTextCodec;

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

    // One record of the notebook file: serial, body length, enciphered body. The codec, when given,
    // turns the UTF-8 strings into the file's code page; raises CFileException when that fails or a
    // write fails.
    void WriteRecord(CBufferedFile& file, CTextCodec* codec) const;
    // Reads one record into the note, the strings as the bytes stored. Raises CFileException
    // (invalidFile) when the body is not there in full.
    void ReadRecord(CBufferedFile& file);

    static void ResetSerials() { s_nextSerial = 1; }

private:
    std::string m_text;
    std::string m_title;
    std::int32_t m_serial;

    static std::int32_t s_nextSerial;
};
