#pragma once

#include "model/CNote.h"
#include "model/CNoteBook.h"

#include <string>
#include <utility>
#include <vector>

// A notebook's notes as (title, text), first to last: what a test compares.
using Notes = std::vector<std::pair<std::string, std::string>>;

inline Notes Contents(const CNoteBook& book)
{
    Notes notes;
    for (std::size_t i = 0; i < book.GetCount(); ++i)
        notes.emplace_back(book.GetNoteAtIndex(i)->GetTitle(), book.GetNoteAtIndex(i)->GetText());
    return notes;
}

// What the window asks when the notebook "book.pelm" was written by someone else since it was read.
inline const char* const kBookChangedElsewhere =
    "The notebook \"book.pelm\" was changed by another program since you opened or saved it. Save your "
    "version over it?";
