#include "model/CNoteBook.h"

#include "model/CEncryptedFile.h"
#include "model/CEncryptedNoteBookReader.h"
#include "model/CNoteBookReader.h"
#include "model/CNoteBookSecret.h"
#include "model/CNoteBookWriter.h"
#include "model/CaseFold.h"
#include "model/INoteBookFrame.h"
#include "model/NoteChanges.h"
#include "platform/DebugTrace.h"

#include <algorithm>
#include <string_view>

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
    auto note = std::make_unique<CNote>();
    CNote* raw = note.get();
    if (atTail)
        m_notes.push_back(std::move(note));
    else
        m_notes.insert(m_notes.begin(), std::move(note));
    m_bySerial.emplace(raw->GetSerial(), raw);
    CountNoteChange();
    if (markModified)
        SetModified();
    return raw;
}

void CNoteBook::Reserve(std::size_t notes)
{
    m_notes.reserve(notes);
    m_bySerial.reserve(notes);
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
    if (up && i > 0)
        std::swap(m_notes[i], m_notes[i - 1]);
    else if (!up && i + 1 < m_notes.size())
        std::swap(m_notes[i], m_notes[i + 1]);
    CountNoteChange();
}

namespace {

// The bytes a title is stored as, one at a time, folded; a character Windows-1252 lacks comes
// after every byte.
class StoredBytes
{
public:
    StoredBytes(const std::string& utf8, TextEncoding codePage)
        : m_text(utf8), m_decode(codePage == TextEncoding::windows1252)
    {
    }

    bool AtEnd() const { return m_pos >= m_text.size(); }

    unsigned Next()
    {
        const auto byte = static_cast<unsigned char>(m_text[m_pos]);
        char32_t codePoint;
        if (!m_decode || byte < 0x80 || !CTextCodec::DecodeUtf8(m_text, m_pos, codePoint)) {
            ++m_pos;
            return FoldCase(byte);
        }
        const int stored = CTextCodec::Windows1252Byte(codePoint);
        return stored >= 0 ? static_cast<unsigned>(stored) : 0x100 + codePoint;
    }

private:
    const std::string& m_text;
    bool m_decode;
    std::size_t m_pos = 0;
};

// A title as a key whose bytes compare as the titles do: the bytes it is stored as, A to Z folded,
// and a character the code page lacks after every byte. Byte 0xFF is written FF 00 and such a
// character FF 01 and its code point in three bytes, which keeps that order byte by byte.
void AppendSortKey(const std::string& title, TextEncoding codePage, std::string& key)
{
    StoredBytes bytes(title, codePage);
    while (!bytes.AtEnd()) {
        const unsigned symbol = bytes.Next();
        if (symbol < 0xFF) {
            key += static_cast<char>(symbol);
        } else if (symbol == 0xFF) {
            key += "\xFF";
            key += '\0';
        } else {
            const unsigned codePoint = symbol - 0x100;
            key += "\xFF\x01";
            key += static_cast<char>(codePoint >> 16);
            key += static_cast<char>((codePoint >> 8) & 0xFF);
            key += static_cast<char>(codePoint & 0xFF);
        }
    }
}

} // namespace

int CNoteBook::CompareTitles(const std::string& a, const std::string& b, TextEncoding codePageA,
                             TextEncoding codePageB)
{
    std::string x;
    std::string y;
    AppendSortKey(a, codePageA, x);
    AppendSortKey(b, codePageB, y);
    const int order = x.compare(y);
    return order < 0 ? -1 : (order > 0 ? 1 : 0);
}

void CNoteBook::SortByTitle()
{
    // The keys side by side in one block: the sort then compares bytes in a few megabytes instead of
    // following a pointer to every title.
    const std::size_t n = m_notes.size();
    struct Item
    {
        std::size_t offset;
        std::size_t length;
        std::size_t index;
    };
    std::string keys;
    std::vector<Item> items(n);
    for (std::size_t i = 0; i < n; ++i) {
        const CNote& note = *m_notes[i];
        items[i].offset = keys.size();
        AppendSortKey(note.GetTitle(), CodePageFor(note.GetTitleCodePage()), keys);
        items[i].length = keys.size() - items[i].offset;
        items[i].index = i;
    }
    const auto key = [&keys](const Item& item) {
        return std::string_view(keys).substr(item.offset, item.length);
    };
    std::stable_sort(items.begin(), items.end(),
                     [&key](const Item& a, const Item& b) { return key(a) < key(b); });
    std::vector<std::size_t> order(n);
    for (std::size_t j = 0; j < n; ++j)
        order[j] = items[j].index;

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
    m_bySerial.clear();
    m_notes.clear();
    CountNoteChange();
    m_password.clear();
    m_secret.reset();
    m_path.Clear();
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
    auto lacks = [this](std::optional<TextEncoding> own, const std::string& text) {
        return own != TextEncoding::windows1252 && CodePageFor(own) == TextEncoding::windows1252 &&
               !CTextCodec::FitsWindows1252(text);
    };
    for (const auto& n : m_notes)
        if (lacks(n->GetTitleCodePage(), n->GetTitle()) || lacks(n->GetTextCodePage(), n->GetText())) {
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
