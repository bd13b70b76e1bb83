#pragma once

#include "model/CNoteBook.h"

#include <cstddef>
#include <random>
#include <string>

// A notebook the size mass note takers keep: by default 100,000 notes of about 1 KB of English-like
// words, about 100 MB, with a rare word planted in every 300th note.
inline void FillMassNoteBook(CNoteBook& book, std::size_t notes = 100000, std::size_t bytesPerNote = 1000)
{
    static const char* const words[] = {
        "the",    "of",      "and",      "to",     "in",     "note",    "meeting", "project",
        "idea",   "list",    "call",     "review", "draft",  "budget",  "travel",  "recipe",
        "garden", "book",    "letter",   "plan",   "today",  "later",   "maybe",   "follow",
        "up",     "with",    "team",     "client", "weekly", "summary", "open",    "issue",
        "answer", "quickly", "remember", "buy",    "milk",   "bread",   "call",    "mom",
    };
    constexpr std::size_t kWords = sizeof words / sizeof words[0];
    std::mt19937 rng(42);
    book.Clear();
    for (std::size_t i = 0; i < notes; ++i) {
        CNote* note = book.AddNote(true, false);
        note->SetTitle(std::string(words[rng() % kWords]) + " " + words[rng() % kWords] + " " +
                       std::to_string(i));
        std::string& text = note->Text();
        text.reserve(bytesPerNote + 16);
        while (text.size() < bytesPerNote) {
            text += words[rng() % kWords];
            text += (rng() % 12 == 0) ? "\n" : " ";
        }
        if (i % 300 == 7)
            text += "Zymurgy\n";
    }
}
