#pragma once

#include "model/CNoteBook.h"

#include <string>

// A note at the end of the notebook with this title and text, as the user would leave it.
inline CNote* AddNote(CNoteBook& book, const std::string& title, const std::string& text)
{
    CNote* note = book.AddNote(true, false);
    note->SetTitle(title);
    note->SetText(text);
    return note;
}
