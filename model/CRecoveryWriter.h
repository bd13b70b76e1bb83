#pragma once

#include "model/CTextCodec.h"
#include "platform/CFile.h"
#include "platform/CWholeMapping.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

class CBufferedFile;
class CNote;
class CNoteBook;

// Writes a recovery copy of the open notebook, a file in the notebook format, without holding up
// the window. The window's thread serializes the notes into memory a few megabytes at a time
// between its events; a worker thread then seals those bytes into the new file and puts it in
// place with a safe save. The copy is the notebook at one moment: any change other than typing in
// the open note starts it again, and the open note's typing is taken when its turn comes.
class CRecoveryWriter
{
public:
    using Pieces = std::function<void(std::string_view piece)>;
    // What the window holds that the notebook does not have yet.
    struct Editor
    {
        // The note open in the editor, or null.
        std::function<const CNote*()> activeNote;
        // Hands the open note's unsaved text to put, in pieces cut between characters, first to
        // last, as often as it is called; false when the editor holds no change.
        std::function<bool(const Pieces& put)> pendingText;
    };
    // Moves the serialized notebook, read from its start, into the new file; raises CFileException.
    using Sealer = std::function<void(CFile& plain, CFile& out)>;

    enum class State
    {
        Idle,
        Serializing,
        Committing,
        Written,
        Failed
    };

    CRecoveryWriter(CNoteBook& book, Editor editor);
    // Waits for a worker that is still writing.
    ~CRecoveryWriter();
    CRecoveryWriter(const CRecoveryWriter&) = delete;
    CRecoveryWriter& operator=(const CRecoveryWriter&) = delete;

    // Runs on the worker once the copy is in place; false makes the copy count as failed.
    using Follower = std::function<bool()>;

    // Begins a copy to target, dropping one in progress.
    void Start(const std::string& target, Sealer sealer, Follower afterCommit = {});
    // Serializes notes until about budget bytes are done; after the last it hands over to the worker.
    void Step(std::size_t budget);
    // Committing turns into Written or Failed once the worker is done.
    State GetState();
    // Runs the copy to its end on this thread's side and waits for the worker.
    State Finish();
    // Drops the copy in progress; a worker that has begun is waited for.
    void Cancel();

    // The sealer of a plain notebook: the bytes as they are.
    static void CopyPlain(CFile& plain, CFile& out);

private:
    void Restart();
    bool Unchanged() const;
    void WriteNote(const CNote& note);
    // The open note's record with the editor's text, read from the editor twice (its length, then
    // its bytes) and never held whole; false when the editor holds no change.
    bool WriteEditedNote(const CNote& note);
    TextEncoding CopyCodePage(std::string_view text, std::optional<TextEncoding> own) const;
    void Commit();
    void Release();

    CNoteBook& m_book;
    Editor m_editor;
    std::string m_target;
    Sealer m_sealer;
    Follower m_afterCommit;
    State m_state = State::Idle;
    std::uint64_t m_changeCount = 0;
    const CNote* m_active = nullptr;
    CTextCodec m_toWindows1252;
    CFile m_memory;
    std::unique_ptr<CBufferedFile> m_out;
    std::optional<CWholeMapping> m_whole; // judged when a copy starts or starts again, kept until it is made
    std::size_t m_next = 0;
    std::thread m_worker;
    std::atomic<bool> m_workerDone{false};
    bool m_written = false;
};
