#include "model/CNote.h"
#include "model/CReleasedNotes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

// A closed notebook's notes are freed in the order of their serials, whatever order its list had.
// A note whose serial lies past the index, or is a second note's too, stays in the list, which
// frees it after the rest; whatever the index held before is not looked at.
TEST(ReleasedNotes, ArrangedBySerialWithTheNotesWithoutAPlaceLeftInTheList)
{
    CNote::ResetSerials();
    CReleasedNotes::Notes notes;
    for (int i = 0; i < 9; ++i)
        notes.push_back(std::make_unique<CNote>());
    CNote::ResetSerials();
    notes.push_back(std::make_unique<CNote>()); // serial 1 again
    std::shuffle(notes.begin(), notes.end(), std::mt19937(4));
    notes.erase(std::find_if(notes.begin(), notes.end(), [](const auto& n) { return n->GetSerial() == 5; }));

    std::vector<CNote*> bySerial(10, nullptr);
    std::vector<CNote*> twins;
    for (const auto& note : notes) {
        CNote*& place = bySerial[static_cast<std::size_t>(note->GetSerial())];
        if (place)
            twins.push_back(note.get());
        else
            place = note.get();
    }
    CNote stale;
    CReleasedNotes::BySerial order(8, &stale); // serials 8 and 9 have no place
    CReleasedNotes::Arrange(notes, order);

    ASSERT_EQ(order.size(), 8u);
    EXPECT_EQ(order[0], nullptr);
    EXPECT_EQ(order[5], nullptr);
    for (std::size_t serial : {1u, 2u, 3u, 4u, 6u, 7u})
        EXPECT_EQ(order[serial], bySerial[serial]) << serial;
    std::vector<CNote*> left;
    for (const auto& note : notes)
        left.push_back(note.get());
    std::vector<CNote*> expected = {bySerial[8], bySerial[9]};
    expected.insert(expected.end(), twins.begin(), twins.end());
    std::sort(left.begin(), left.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(left, expected);
    for (CNote* note : order)
        delete note;
}
