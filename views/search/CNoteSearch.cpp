#include "views/search/CNoteSearch.h"

#include "model/CNoteBook.h"
#include "model/CTextCodec.h"
#include "model/CTextString.h"
#include "platform/MessageBox.h"

namespace {

// The character at i, stepping past it; a byte that starts no UTF-8 sequence stands for itself.
char32_t NextCodePoint(const std::string& s, std::size_t& i)
{
    char32_t codePoint;
    if (CTextCodec::DecodeUtf8(s, i, codePoint))
        return codePoint;
    return static_cast<unsigned char>(s[i++]);
}

// Lower case for the letters Windows-1252 has; everything else stands for itself.
char32_t FoldLetter(char32_t c)
{
    if ((c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7))
        return c + 0x20;
    switch (c) {
    case 0x160: // Š
    case 0x152: // Œ
    case 0x17D: // Ž
        return c + 1;
    case 0x178: // Ÿ
        return 0xFF;
    default:
        return c;
    }
}

} // namespace

bool CNoteSearch::SameTextIgnoringCase(const std::string& a, const std::string& b)
{
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size())
        if (FoldLetter(NextCodePoint(a, i)) != FoldLetter(NextCodePoint(b, j)))
            return false;
    return i == a.size() && j == b.size();
}

int CNoteSearch::Search(CNoteBook* noteBook, const std::string& text)
{
    const bool repeat = noteBook == m_lastNoteBook && SameTextIgnoringCase(text, m_lastText);
    m_hits.clear();
    if (!repeat)
        m_current = 0;
    m_lastNoteBook = noteBook;
    m_lastText = text;
    if (noteBook)
        Collect(*noteBook, text);

    const auto count = static_cast<int>(m_hits.size());
    if (count > 0 && repeat && ++m_current >= m_hits.size()) {
        AfxMessageBox("End of search results reached.  Starting over", MB_OK | MB_ICONINFORMATION);
        m_current = 0;
    }
    return count;
}

void CNoteSearch::Collect(CNoteBook& noteBook, const std::string& text)
{
    for (NotePosition pos = noteBook.GetNextPosition(0); pos != 0; pos = noteBook.GetNextPosition(pos)) {
        CNote* note = noteBook.GetNoteAt(pos);
        CTextString title;
        title.Attach(note->Title().data(), static_cast<int>(note->Title().size()));
        if (title.Find(text.c_str(), 0, true) >= 0)
            m_hits.push_back({SearchHit::Title, 0, note->GetSerial()});

        CTextString body;
        body.Attach(note->Text().data(), static_cast<int>(note->Text().size()));
        for (int q = body.Find(text.c_str(), 0, true); q >= 0; q = body.Find(text.c_str(), q + 1, true))
            m_hits.push_back({SearchHit::Text, q, note->GetSerial()});
    }
}

const SearchHit* CNoteSearch::GetCurrentHit() const
{
    return m_hits.empty() ? nullptr : &m_hits[m_current];
}
