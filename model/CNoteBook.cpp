#include "model/CNoteBook.h"

#include "model/CEncryptedFile.h"
#include "model/CEncryptedNoteBookReader.h"
#include "model/CNoteBookReader.h"
#include "model/CNoteBookSecret.h"
#include "model/CNoteBookWriter.h"
#include "model/CaseFold.h"
#include "model/INoteBookFrame.h"
#include "platform/DebugTrace.h"

#include <algorithm>
#include <numeric>

CNoteBook::CNoteBook() = default;

CNoteBook::~CNoteBook()
{
    Clear();
}

CNote* CNoteBook::AddNote(bool atTail, bool markModified)
{
    auto note = std::make_unique<CNote>();
    CNote* raw = note.get();
    if (atTail)
        m_notes.push_back(std::move(note));
    else
        m_notes.insert(m_notes.begin(), std::move(note));
    m_bySerial.emplace(raw->GetSerial(), raw);
    ++m_changeCount;
    if (markModified)
        SetModified();
    return raw;
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
    const auto it = m_bySerial.find(serial);
    return it == m_bySerial.end() ? nullptr : it->second;
}

void CNoteBook::RemoveNote(std::int32_t serial)
{
    const std::ptrdiff_t index = IndexOf(serial);
    if (index < 0)
        return;
    m_bySerial.erase(serial);
    m_notes.erase(m_notes.begin() + index);
    SetModified();
}

void CNoteBook::MoveNote(std::int32_t serial, bool up)
{
    const std::ptrdiff_t index = IndexOf(serial);
    if (index < 0)
        return;
    const auto i = static_cast<std::size_t>(index);
    ++m_changeCount;
    if (up && i > 0)
        std::swap(m_notes[i], m_notes[i - 1]);
    else if (!up && i + 1 < m_notes.size())
        std::swap(m_notes[i], m_notes[i + 1]);
}

int CNoteBook::CompareTitles(const std::string& a, const std::string& b)
{
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const int ca = FoldCase(static_cast<unsigned char>(a[i]));
        const int cb = FoldCase(static_cast<unsigned char>(b[i]));
        if (ca != cb)
            return ca < cb ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

void CNoteBook::SortByTitle()
{
    const std::size_t n = m_notes.size();
    std::vector<std::size_t> order(n);
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [this](std::size_t a, std::size_t b) {
        return CompareTitles(m_notes[a]->GetTitle(), m_notes[b]->GetTitle()) < 0;
    });

    // One trace line for each note placed ahead of a note that stood before it: the one it
    // passes that stood first.
    std::vector<std::size_t> firstAfter(n + 1, n);
    for (std::size_t j = n; j-- > 0;)
        firstAfter[j] = std::min(firstAfter[j + 1], order[j]);
    for (std::size_t j = 0; j < n; ++j)
        if (firstAfter[j + 1] < order[j])
            DebugTrace("Placing %s BEFORE %s", m_notes[order[j]]->GetTitle().c_str(),
                       m_notes[firstAfter[j + 1]]->GetTitle().c_str());

    std::vector<std::unique_ptr<CNote>> sorted;
    sorted.reserve(n);
    for (std::size_t index : order)
        sorted.push_back(std::move(m_notes[index]));
    m_notes = std::move(sorted);
    SetModified();
}

void CNoteBook::Clear()
{
    CNote::ResetSerials();
    ++m_changeCount;
    m_bySerial.clear();
    m_notes.clear();
    m_password.clear();
    m_secret.reset();
    m_path.Clear();
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
    if (CEncryptedFile::HasMagic(path))
        return CEncryptedNoteBookReader(*this).Read(path);
    return CNoteBookReader(*this).Read(path);
}
