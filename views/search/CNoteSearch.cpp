#include "views/search/CNoteSearch.h"

#include "model/CNoteBook.h"
#include "model/CTextString.h"
#include "model/CaseFold.h"
#include "platform/MessageBox.h"

#include <algorithm>

bool CNoteSearch::SameTextIgnoringCase(const std::string& a, const std::string& b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return FoldCase(static_cast<unsigned char>(x)) == FoldCase(static_cast<unsigned char>(y));
           });
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
