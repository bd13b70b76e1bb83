#include "model/CReleasedNotes.h"

#include "model/CNote.h"

#include <algorithm>

CReleasedNotes::CReleasedNotes(Notes notes, BySerial bySerial)
    : m_notes(std::move(notes)), m_order(std::move(bySerial))
{
}

CReleasedNotes::~CReleasedNotes()
{
    Arrange(m_notes, m_order);
    for (CNote* note : m_order)
        delete note;
    // The notes without a place of their own go with the list.
}

void CReleasedNotes::Arrange(Notes& notes, BySerial& order)
{
    std::fill(order.begin(), order.end(), nullptr);
    const std::size_t places = order.size();
    for (std::unique_ptr<CNote>& note : notes) {
        const auto serial = static_cast<std::size_t>(note->GetSerial());
        if (serial < places && !order[serial])
            order[serial] = note.release();
    }
    notes.erase(std::remove(notes.begin(), notes.end(), nullptr), notes.end());
}
