#include "model/CNoteBook.h"

#include "model/CEncryptedFile.h"
#include "model/CEncryptedNoteBookReader.h"
#include "model/CNoteBookReader.h"
#include "model/CNoteBookSecret.h"
#include "model/CNoteBookWriter.h"
#include "model/CTitleSorter.h"
#include "model/INoteBookFrame.h"
#include "model/NoteChanges.h"
#include "platform/CDisposer.h"
#include "platform/CMappedFile.h"
#include "platform/DebugTrace.h"
#include "platform/HugePageArray.h"

#include <algorithm>

namespace {

std::uint64_t g_notebooksMade = 0;

} // namespace

CNoteBook::CNoteBook() : m_identity(++g_notebooksMade) {}

CNoteBook::~CNoteBook()
{
    Clear();
}

CNote* CNoteBook::AddNote(bool atTail, bool markModified)
{
    // The count is the process's: another notebook closed since this one was filled restarted it.
    if (!m_bySerial.empty())
        CNote::SerialsAbove(static_cast<std::int32_t>(m_bySerial.size() - 1));
    CNote* raw = Adopt(std::make_unique<CNote>(), atTail);
    CountNoteChange();
    if (markModified)
        SetModified();
    return raw;
}

CNote* CNoteBook::AddReadNote(std::optional<std::string> title, CBatchMemory* room)
{
    return Adopt(std::unique_ptr<CNote>(title ? new (room) CNote(CNote::StoredTitle{}, std::move(*title))
                                              : new (room) CNote()),
                 true);
}

CNote* CNoteBook::AddReadNote(std::unique_ptr<CNote> note)
{
    note->Number();
    return Adopt(std::move(note), true);
}

CNote* CNoteBook::Adopt(std::unique_ptr<CNote> note, bool atTail)
{
    CNote* raw = note.get();
    if (atTail)
        m_notes.push_back(std::move(note));
    else
        m_notes.insert(m_notes.begin(), std::move(note));
    const auto serial = static_cast<std::size_t>(raw->GetSerial());
    if (serial >= m_bySerial.size())
        m_bySerial.resize(serial + 1);
    m_bySerial[serial] = raw;
    return raw;
}

void CNoteBook::Reserve(std::size_t notes)
{
    m_notes.reserve(notes);
    m_bySerial.reserve(m_bySerial.size() + notes + 1);
}

NotePosition CNoteBook::GetNextPosition(NotePosition position) const
{
    const NotePosition next = position + 1;
    return next <= m_notes.size() ? next : 0;
}

CNote* CNoteBook::GetNoteAt(NotePosition position) const
{
    if (position == 0 || position > m_notes.size())
        return nullptr;
    return m_notes[position - 1].get();
}

std::ptrdiff_t CNoteBook::IndexOf(std::int32_t serial) const
{
    const CNote* note = FindNote(serial);
    if (!note)
        return -1;
    const auto it =
        std::find_if(m_notes.begin(), m_notes.end(), [note](const auto& n) { return n.get() == note; });
    return it - m_notes.begin();
}

CNote* CNoteBook::FindNote(std::int32_t serial) const
{
    if (serial < 0 || static_cast<std::size_t>(serial) >= m_bySerial.size())
        return nullptr;
    return m_bySerial[static_cast<std::size_t>(serial)];
}

void CNoteBook::RemoveNote(std::int32_t serial)
{
    const std::ptrdiff_t index = IndexOf(serial);
    if (index < 0)
        return;
    m_bySerial[static_cast<std::size_t>(serial)] = nullptr;
    m_notes.erase(m_notes.begin() + index);
    SetModified();
}

void CNoteBook::MoveNote(std::int32_t serial, bool up)
{
    const std::ptrdiff_t index = IndexOf(serial);
    if (index < 0)
        return;
    const auto i = static_cast<std::size_t>(index);
    if (up && i > 0)
        std::swap(m_notes[i], m_notes[i - 1]);
    else if (!up && i + 1 < m_notes.size())
        std::swap(m_notes[i], m_notes[i + 1]);
    CountNoteChange();
}

int CNoteBook::CompareTitles(const std::string& a, const std::string& b, TextEncoding codePageA,
                             TextEncoding codePageB)
{
    CTitleSorter::Keys x;
    CTitleSorter::Keys y;
    CTitleSorter::AppendKey(a, codePageA, x);
    CTitleSorter::AppendKey(b, codePageB, y);
    const int order = x.compare(y);
    return order < 0 ? -1 : (order > 0 ? 1 : 0);
}

bool CNoteBook::SortByTitle(const SortAside& aside)
{
    const std::size_t n = m_notes.size();
    // Asked in order: the notes and their titles may lie anywhere, so they are fetched ahead.
    CTitleSorter sorter(n, [this, n](std::size_t i) {
        if (i + 16 < n)
            __builtin_prefetch(m_notes[i + 16].get());
        if (i + 8 < n)
            __builtin_prefetch(m_notes[i + 8]->GetTitle().data());
        const CNote& note = *m_notes[i];
        return CTitleSorter::Title{&note.GetTitle(), CodePageFor(note.GetTitleCodePage())};
    });
    CTitleSorter::Places order;
    const auto findOrder = [&sorter, &order] {
        order = sorter.Order();
        return true;
    };
    if (!(aside ? aside(findOrder) : findOrder()))
        return false;
    if (DebugTraceEnabled())
        TraceExchanges(order);

    // The notes are let go of and taken back in their new order: a second list of unique pointers
    // would be fresh memory of the usual kind, faulted in a page at a time, and fresh huge pages
    // cost time too: the list of the released notes takes the keys' memory.
    HugePageArray<CNote*> released = sorter.TakeKeysMemory<CNote*>(n);
    for (std::size_t i = 0; i < n; ++i)
        released[i] = m_notes[i].release();
    for (std::size_t j = 0; j < n; ++j) {
        if (j + 16 < n)
            __builtin_prefetch(&released[order[j + 16]]);
        m_notes[j].reset(released[order[j]]);
    }
    SetModified();
    return true;
}

// One trace line for each note placed ahead of a note that stood before it: the one it passes that
// stood first. Only when someone reads the lines: each one visits two notes anywhere in memory.
void CNoteBook::TraceExchanges(const CTitleSorter::Places& order) const
{
    const std::size_t n = order.size();
    std::vector<std::size_t> firstAfter(n + 1, n);
    for (std::size_t j = n; j-- > 0;)
        firstAfter[j] = std::min<std::size_t>(firstAfter[j + 1], order[j]);
    for (std::size_t j = 0; j < n; ++j)
        if (firstAfter[j + 1] < order[j])
            DebugTrace("Placing %s BEFORE %s", m_notes[order[j]]->GetTitle().c_str(),
                       m_notes[firstAfter[j + 1]]->GetTitle().c_str());
}

void CNoteBook::Clear()
{
    CNote::ResetSerials();
    // A million notes take tens of milliseconds to free: not on the caller's time.
    if (!m_notes.empty())
        CDisposer::Later(CReleasedNotes(std::move(m_notes), std::move(m_bySerial)));
    // Unmapping a large file takes as long: its pages go back there too.
    if (m_storedFile)
        CDisposer::Later(std::move(m_storedFile));
    m_notes.clear();
    m_bySerial.clear();
    m_storedFile.reset();
    m_readTextHashes.clear();
    if (!m_textFiles.empty())
        CDisposer::Later(std::move(m_textFiles));
    m_textFiles.clear();
    CountNoteChange();
    m_password.clear();
    m_secret.reset();
    m_path.Clear();
}

bool CNoteBook::StoredTextsIntact() const
{
    return !m_storedFile || m_storedFile->IsIntact();
}

// A record's place is its text's identity within the file: a note edited, or whose text moved to
// another file, no longer has the hash taken there.
const TextHash* CNoteBook::FindReadTextHash(std::size_t index) const
{
    if (index >= m_readTextHashes.size() || index >= m_notes.size())
        return nullptr;
    const StoredTextHash& read = m_readTextHashes[index];
    const CNote& note = *m_notes[index];
    const bool same = read.body != 0 && IsInStoredFile(note) && note.GetStoredText().body == read.body;
    // A file changed since holds other texts, whatever the places say.
    return same && m_storedFile->WasIntact() ? &read.hash : nullptr;
}

void CNoteBook::RenewStoredFile()
{
    if (m_storedFile)
        m_storedFile->Renew();
}

// A text that could not be read, or one still in the notebook's file when that changed under it.
// Texts moved out to files of our own stay whatever becomes of the notebook's.
bool CNoteBook::IsLost(const CNote& note, bool fileIntact) const
{
    return note.IsTextLost() || (!fileIntact && IsInStoredFile(note));
}

void CNoteBook::SweepTextFiles()
{
    if (m_textFiles.empty())
        return;
    std::vector<const CMappedFile*> read;
    for (const auto& note : m_notes)
        if (note->HasStoredText() && (read.empty() || read.back() != note->GetStoredText().file))
            read.push_back(note->GetStoredText().file);
    std::sort(read.begin(), read.end());
    const auto isRead = [&read](const std::shared_ptr<CMappedFile>& file) {
        return std::binary_search(read.begin(), read.end(), file.get());
    };
    const auto unread = std::partition(m_textFiles.begin(), m_textFiles.end(), isRead);
    // Closing a file whose pages are still on their way to the disk waits for them.
    CDisposer::Later(std::vector<std::shared_ptr<CMappedFile>>(std::make_move_iterator(unread),
                                                               std::make_move_iterator(m_textFiles.end())));
    m_textFiles.erase(unread, m_textFiles.end());
}

const CNote* CNoteBook::FindLostText() const
{
    const bool intact = StoredTextsIntact();
    for (const auto& note : m_notes)
        if (IsLost(*note, intact))
            return note.get();
    return nullptr;
}

std::vector<const CNote*> CNoteBook::FindLostTexts() const
{
    std::vector<const CNote*> lost;
    const bool intact = StoredTextsIntact();
    for (const auto& note : m_notes)
        if (IsLost(*note, intact))
            lost.push_back(note.get());
    return lost;
}

void CNoteBook::GiveUpLostTexts()
{
    if (StoredTextsIntact())
        return;
    for (const auto& note : m_notes)
        if (IsLost(*note, false))
            note->SetText(std::string());
    m_storedFile.reset();
    SetModified();
}

void CNoteBook::SetEncoding(TextEncoding encoding)
{
    m_encoding = encoding;
    m_recode = false;
}

void CNoteBook::ChangeEncoding(TextEncoding encoding)
{
    if (encoding == m_encoding)
        return;
    m_encoding = encoding;
    m_recode = true;
    SetModified();
}

bool CNoteBook::FindUnstorable(const CNote*& note) const
{
    note = nullptr;
    // Only Windows-1252 lacks characters, and a string read in it fits it.
    if (m_encoding == TextEncoding::utf8)
        return false;
    if (!CTextCodec::FitsWindows1252(m_password))
        return true;
    auto mayLack = [this](std::optional<TextEncoding> own) {
        return own != TextEncoding::windows1252 && CodePageFor(own) == TextEncoding::windows1252;
    };
    // A text is read only when its code page leaves a doubt: an ASCII text still in the file fits.
    auto lacks = [&](const CNote& n) {
        return (mayLack(n.GetTitleCodePage()) && !CTextCodec::FitsWindows1252(n.GetTitle())) ||
               (mayLack(n.GetTextCodePage()) && !(n.HasStoredText() && !n.GetStoredText().codePage) &&
                !CTextCodec::FitsWindows1252(n.GetText()));
    };
    for (const auto& n : m_notes)
        if (lacks(*n)) {
            note = n.get();
            return true;
        }
    return false;
}

void CNoteBook::SettleCodePages()
{
    if (!m_recode)
        return;
    for (const auto& note : m_notes)
        note->SetCodePages(std::nullopt, std::nullopt);
    m_recode = false;
}

INoteBookFrame* CNoteBook::GetMainFrame()
{
    if (!m_mainFrameLooked) {
        m_mainFrame = GetAppMainFrame();
        m_mainFrameLooked = true;
    }
    return m_mainFrame;
}

bool CNoteBook::WriteFile(const std::string& path, const std::string& backupFolder)
{
    return CNoteBookWriter(*this).Write(path, backupFolder);
}

bool CNoteBook::ReadFile(const std::string& path)
{
    if (CEncryptedFile::IsForEncryptedReader(path))
        return CEncryptedNoteBookReader(*this).Read(path);
    return CNoteBookReader(*this).Read(path);
}
