#include "model/CRecoveryWriter.h"

#include "model/CBodyWriter.h"
#include "model/CBufferedFile.h"
#include "model/CFileOrder.h"
#include "model/CNoteBook.h"
#include "model/CNoteBookWriter.h"
#include "platform/CSafeSave.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <utility>

CRecoveryWriter::CRecoveryWriter(CNoteBook& book, Editor editor)
    : m_book(book), m_editor(std::move(editor)), m_toWindows1252(CTextCodec::toWindows1252)
{
}

CRecoveryWriter::~CRecoveryWriter()
{
    Cancel();
}

void CRecoveryWriter::Start(const std::string& target, Sealer sealer, Follower afterCommit)
{
    Cancel();
    m_target = target;
    m_sealer = std::move(sealer);
    m_afterCommit = std::move(afterCommit);
    // Memory, never the disk: a slow disk cannot hold up the window.
    if (!m_memory.IsOpen() && !m_memory.OpenInMemory("recovery copy")) {
        m_state = State::Failed;
        return;
    }
    Restart();
}

void CRecoveryWriter::Restart()
{
    m_out.reset();
    m_state = State::Serializing;
    m_changeCount = m_book.GetChangeCount();
    m_active = m_editor.activeNote();
    m_next = 0;
    // Judged at every start: a sort since the last one leaves the list out of the file's order. The
    // new judgment is made before the old one goes, so that a mapping both want is not made again.
    CWholeMapping whole = CFileOrder::MappedForPass(m_book);
    m_whole.reset();
    m_whole.emplace(std::move(whole));
    try {
        if (::ftruncate(m_memory.GetDescriptor(), 0) != 0 ||
            ::lseek(m_memory.GetDescriptor(), 0, SEEK_SET) != 0)
            throw CFileException(CFileException::CauseFromErrno(errno), errno);
        m_out = std::make_unique<CBufferedFile>(m_memory, 1024 * 1024);
        CNoteBookWriter(m_book).WriteHeader(*m_out, m_toWindows1252);
    } catch (const CFileException&) {
        m_state = State::Failed;
        m_whole.reset();
    }
}

bool CRecoveryWriter::Unchanged() const
{
    return m_book.GetChangeCount() == m_changeCount && m_editor.activeNote() == m_active;
}

// The code page a string goes to the copy in: its own, unless that lacks one of its characters. The
// copy is ours to read back, and a save asks about the code page in any case.
TextEncoding CRecoveryWriter::CopyCodePage(std::string_view text, std::optional<TextEncoding> own) const
{
    const TextEncoding codePage = m_book.CodePageFor(own);
    return codePage == TextEncoding::windows1252 && !CTextCodec::FitsWindows1252(text) ? TextEncoding::utf8
                                                                                       : codePage;
}

// A text still in the notebook's file goes in without being kept in the note.
void CRecoveryWriter::WriteNote(const CNote& note)
{
    if (&note == m_active && WriteEditedNote(note))
        return;
    std::string scratch;
    const std::string_view text = note.ReadText(scratch);
    note.WriteRecord(*m_out, text, CopyCodePage(note.GetTitle(), note.GetTitleCodePage()),
                     CopyCodePage(text, note.GetTextCodePage()), m_toWindows1252);
}

// The open note goes in with the editor's text, which the note itself gets only later; as an edited
// string it takes the notebook's code page. The bytes are those the note's own record would have
// with that text.
bool CRecoveryWriter::WriteEditedNote(const CNote& note)
{
    std::uint64_t bytes = 0;
    std::uint64_t characters = 0;
    bool ascii = true;
    bool fits = true;
    const bool pending = m_editor.pendingText([&](std::string_view piece) {
        bytes += piece.size();
        for (const char c : piece)
            characters += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
        ascii = ascii && CTextCodec::IsAscii(piece);
        fits = fits && CTextCodec::FitsWindows1252(piece);
    });
    if (!pending)
        return false;
    const TextEncoding textCodePage = m_book.CodePageFor(std::nullopt);
    // Windows-1252 takes one byte a character.
    const bool converted = textCodePage == TextEncoding::windows1252 && fits && !ascii;

    const std::string& title = note.GetTitle();
    std::string titleScratch;
    const bool titleConverted = CopyCodePage(title, note.GetTitleCodePage()) == TextEncoding::windows1252 &&
                                !CTextCodec::IsAscii(title);
    if (titleConverted && !m_toWindows1252.Convert(title, titleScratch))
        throw CFileException(CFileException::invalidFile, -1);
    const std::string& storedTitle = titleConverted ? titleScratch : title;

    std::optional<CBodyWriter> body;
    note.StartRecord(*m_out, storedTitle, converted ? characters : bytes, body);
    std::string scratch;
    m_editor.pendingText([&](std::string_view piece) {
        if (!converted) {
            body->Put(piece.data(), static_cast<std::uint32_t>(piece.size()));
            return;
        }
        // A block at a time, cut before a character, so that the converted text stays small.
        constexpr std::size_t kBlock = 64 * 1024;
        for (std::size_t from = 0; from < piece.size();) {
            std::size_t to = std::min(piece.size(), from + kBlock);
            while (to < piece.size() && (static_cast<unsigned char>(piece[to]) & 0xC0) == 0x80)
                --to;
            if (!m_toWindows1252.Convert(piece.substr(from, to - from), scratch))
                throw CFileException(CFileException::invalidFile, -1);
            body->Put(scratch.data(), static_cast<std::uint32_t>(scratch.size()));
            from = to;
        }
    });
    body->Put("", 1);
    return true;
}

void CRecoveryWriter::Step(std::size_t budget)
{
    if (m_state != State::Serializing)
        return;
    if (!Unchanged())
        Restart();
    try {
        std::size_t done = 0;
        while (m_state == State::Serializing && m_next < m_book.GetCount() && done < budget) {
            const CNote& note = *m_book.GetNoteAtIndex(m_next++);
            WriteNote(note);
            done += note.GetTitle().size() + note.GetTextSize() + 16;
        }
        if (m_state == State::Serializing && m_next == m_book.GetCount()) {
            // Texts read from a file another program changed meanwhile are not the notes.
            if (!m_book.StoredTextsIntact())
                throw CFileException(CFileException::invalidFile, -1);
            m_out->FlushBuffer();
            Commit();
        }
    } catch (const CFileException&) {
        m_state = State::Failed;
        m_whole.reset();
    }
}

void CRecoveryWriter::Commit()
{
    m_out.reset();
    m_whole.reset();
    m_state = State::Committing;
    m_workerDone = false;
    m_written = false;
    m_worker = std::thread([this] {
        bool written = false;
        try {
            CSafeSave save(m_target);
            if (save.Begin() && ::lseek(m_memory.GetDescriptor(), 0, SEEK_SET) == 0) {
                m_sealer(m_memory, save.GetFile());
                written = save.Commit() && (!m_afterCommit || m_afterCommit());
            }
        } catch (const CFileException&) {
        }
        // Giving a hundred megabytes back takes a while: here, not on the window's thread.
        Release();
        m_written = written;
        m_workerDone.store(true, std::memory_order_release);
    });
}

CRecoveryWriter::State CRecoveryWriter::GetState()
{
    if (m_state == State::Committing && m_workerDone.load(std::memory_order_acquire)) {
        m_worker.join();
        m_state = m_written ? State::Written : State::Failed;
        Release();
    }
    return m_state;
}

CRecoveryWriter::State CRecoveryWriter::Finish()
{
    while (m_state == State::Serializing)
        Step(SIZE_MAX);
    if (m_state == State::Committing) {
        m_worker.join();
        m_state = m_written ? State::Written : State::Failed;
        Release();
    }
    return m_state;
}

void CRecoveryWriter::Cancel()
{
    if (m_worker.joinable())
        m_worker.join();
    m_out.reset();
    m_whole.reset();
    m_state = State::Idle;
    Release();
}

// The serialized notebook may be as large as the notebook: give the memory back at once.
void CRecoveryWriter::Release()
{
    if (m_memory.IsOpen() && ::ftruncate(m_memory.GetDescriptor(), 0) != 0)
        m_memory.Abort();
}

void CRecoveryWriter::CopyPlain(CFile& plain, CFile& out)
{
    std::string block(1024 * 1024, '\0');
    while (const std::size_t n = plain.Read(block.data(), block.size()))
        out.Write(block.data(), n);
}
