#include "model/CTextSpill.h"

#include "model/CNoteBook.h"
#include "model/CTextCodec.h"
#include "platform/CMappedFile.h"

#include <algorithm>
#include <cerrno>

namespace {

// Below this a text costs less in memory than its place in a file does.
constexpr std::size_t kShortest = 64;

} // namespace

void CTextSpill::Assign(CNoteBook& book, CNote& note, std::string_view text, std::string_view current)
{
    if (text == current)
        return;
    const std::optional<TextInFile> stored =
        m_failed || book.GetSecret() || text.size() < kShortest ? std::nullopt : Write(note, text);
    if (!stored) {
        note.AssignText(text, current);
        return;
    }
    m_pending.push_back({note.GetSerial(), m_texts.size(), *stored});
    m_texts.insert(m_texts.end(), text.begin(), text.end());
    if (m_out->GetWritePosition() >= m_batchBytes)
        TakeBatch(book);
}

// The record as a save writes it: the title in the code page it came in, the text in UTF-8.
std::optional<TextInFile> CTextSpill::Write(const CNote& note, std::string_view text)
{
    thread_local CTextCodec toWindows1252(CTextCodec::toWindows1252);
    const TextEncoding titleCodePage = note.GetTitleCodePage().value_or(TextEncoding::utf8);
    TextInFile stored;
    try {
        if (!m_out)
            Begin();
        const std::uint64_t record = m_out->GetWritePosition();
        note.WriteRecord(*m_out, text, titleCodePage, TextEncoding::utf8, toWindows1252);
        stored.body = record + 8;
        stored.bodyLength = static_cast<std::uint32_t>(m_out->GetWritePosition() - stored.body);
    } catch (const CFileException&) {
        m_failed = true;
        return std::nullopt;
    }
    stored.textLength = static_cast<std::uint32_t>(text.size());
    stored.textPlace = stored.bodyLength - stored.textLength - 1;
    if (!CTextCodec::IsAscii(text))
        stored.codePage = TextEncoding::utf8;
    if (!CTextCodec::IsAscii(note.GetTitle()))
        stored.titleCodePage = titleCodePage;
    stored.plain = true;
    return stored;
}

void CTextSpill::Begin()
{
    if (!m_file.OpenNameless("texts"))
        throw CFileException(CFileException::genericException, errno);
    m_out.emplace(m_file);
    // One block, reused by every batch: the heap keeps no holes from the texts.
    m_texts.reserve(std::min(m_batchBytes, kBatchBytes) / 8 * 9);
}

void CTextSpill::Settle(CNoteBook& book)
{
    TakeBatch(book);
    Abandon();
}

void CTextSpill::TakeBatch(CNoteBook& book)
{
    const std::shared_ptr<CMappedFile> file = MapBatch();
    for (Pending& pending : m_pending) {
        CNote* note = book.FindNote(pending.serial);
        if (!note)
            continue;
        if (file) {
            pending.stored.file = file.get();
            note->SetWrittenText(pending.stored);
        } else {
            note->SetText(std::string(m_texts.data() + pending.textAt, pending.stored.textLength));
        }
    }
    if (file)
        book.KeepTextFile(file);
    m_pending.clear();
    m_texts.clear();
    m_out.reset();
    m_file.Abort();
}

std::shared_ptr<CMappedFile> CTextSpill::MapBatch()
{
    if (!m_out || m_failed || m_out->GetWritePosition() < m_batchBytes / 32)
        return nullptr;
    try {
        m_out->FlushBuffer();
        return CMappedFile::MapOwn(m_file.GetDescriptor());
    } catch (const CFileException&) {
        return nullptr;
    }
}

void CTextSpill::Abandon()
{
    std::vector<Pending>().swap(m_pending);
    std::vector<char>().swap(m_texts);
    m_out.reset();
    m_file.Abort();
    m_failed = false;
}
