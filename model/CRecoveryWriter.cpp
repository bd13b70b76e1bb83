#include "model/CRecoveryWriter.h"

#include "model/CBufferedFile.h"
#include "model/CNoteBook.h"
#include "model/CNoteBookWriter.h"
#include "platform/CSafeSave.h"

#include <unistd.h>

#include <cerrno>
#include <utility>

CRecoveryWriter::CRecoveryWriter(CNoteBook& book, Editor editor) : m_book(book), m_editor(std::move(editor))
{
}

CRecoveryWriter::~CRecoveryWriter()
{
    Cancel();
}

void CRecoveryWriter::Start(const std::string& target, Sealer sealer)
{
    Cancel();
    m_target = target;
    m_sealer = std::move(sealer);
    m_encoding = m_book.GetEncoding();
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
    m_codec.reset();
    if (m_encoding == TextEncoding::windows1252)
        m_codec = std::make_unique<CTextCodec>(CTextCodec::toWindows1252);
    try {
        if (::ftruncate(m_memory.GetDescriptor(), 0) != 0 ||
            ::lseek(m_memory.GetDescriptor(), 0, SEEK_SET) != 0)
            throw CFileException(CFileException::CauseFromErrno(errno), errno);
        m_out = std::make_unique<CBufferedFile>(m_memory, 1024 * 1024);
        CNoteBookWriter(m_book).WriteHeader(*m_out, m_codec.get());
    } catch (const CFileException&) {
        m_state = State::Failed;
    }
}

bool CRecoveryWriter::Unchanged() const
{
    return m_book.GetChangeCount() == m_changeCount && m_editor.activeNote() == m_active;
}

// The open note goes in with the editor's text, which the note itself gets only later.
void CRecoveryWriter::WriteNote(CNote& note)
{
    std::string pending;
    if (&note != m_active || !m_editor.pendingText(pending)) {
        note.WriteRecord(*m_out, m_codec.get());
        return;
    }
    std::swap(note.Text(), pending);
    try {
        note.WriteRecord(*m_out, m_codec.get());
    } catch (...) {
        std::swap(note.Text(), pending);
        throw;
    }
    std::swap(note.Text(), pending);
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
            CNote& note = *m_book.GetNoteAtIndex(m_next++);
            WriteNote(note);
            done += note.GetTitle().size() + note.GetText().size() + 16;
        }
        if (m_state == State::Serializing && m_next == m_book.GetCount()) {
            m_out->FlushBuffer();
            Commit();
        }
    } catch (const CFileException& e) {
        // A character the Windows code page lacks: the copy is written in UTF-8 instead.
        if (m_encoding == TextEncoding::windows1252 && e.m_cause == CFileException::invalidFile) {
            m_encoding = TextEncoding::utf8;
            Restart();
            return;
        }
        m_state = State::Failed;
    }
}

void CRecoveryWriter::Commit()
{
    m_out.reset();
    m_state = State::Committing;
    m_workerDone = false;
    m_written = false;
    m_worker = std::thread([this] {
        bool written = false;
        try {
            CSafeSave save(m_target);
            if (save.Begin() && ::lseek(m_memory.GetDescriptor(), 0, SEEK_SET) == 0) {
                m_sealer(m_memory, save.GetFile());
                written = save.Commit();
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
