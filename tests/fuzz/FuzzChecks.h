#pragma once

#include <string>
#include <utility>
#include <vector>

class CNoteBook;

inline constexpr const char* kFuzzPassword = "pass";

// A notebook's notes as titles and texts, first to last.
using FuzzNotes = std::vector<std::pair<std::string, std::string>>;

// Aborts, naming the promise, when the code under fuzzing breaks it, so that libFuzzer keeps the
// input and a replay fails.
void FuzzCheck(bool kept, const char* promise);
// Message boxes are answered OK, and locked notebooks open with kFuzzPassword.
void AnswerPromptsForFuzzing();
FuzzNotes NotesOf(const CNoteBook& book);
// The notes without the code pages they are stored in.
bool SameNotes(const CNoteBook& a, const CNoteBook& b);
