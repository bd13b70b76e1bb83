#include "fuzz/FuzzChecks.h"

#include "model/CNoteBook.h"
#include "model/PasswordPrompt.h"
#include "platform/MessageBox.h"

#include <cstdio>
#include <cstdlib>

void FuzzCheck(bool kept, const char* promise)
{
    if (!kept) {
        std::fprintf(stderr, "promise broken: %s\n", promise);
        std::abort();
    }
}

void AnswerPromptsForFuzzing()
{
    // Set for each input: a test may have put its own in between.
    SetMessageBoxHandler(
        [](const std::string&, unsigned, const std::string&) { return static_cast<int>(IDOK); });
    SetPasswordHandler([](const std::string&, std::string& password) {
        password = kFuzzPassword;
        return true;
    });
}

FuzzNotes NotesOf(const CNoteBook& book)
{
    FuzzNotes notes;
    notes.reserve(book.GetCount());
    for (std::size_t i = 0; i < book.GetCount(); ++i)
        notes.emplace_back(book.GetNoteAtIndex(i)->GetTitle(), book.GetNoteAtIndex(i)->GetText());
    return notes;
}

bool SameNotes(const CNoteBook& a, const CNoteBook& b)
{
    return NotesOf(a) == NotesOf(b);
}
