#pragma once

#include <nlohmann/json.hpp>

#include <cstdio>

class CNoteBook;

// The notebook as JSON for the tool: every field of the two view records, the notes in order and
// whether there is a password, never the password itself. A note string stored in another code
// page than the notebook's carries it in "title_encoding" or "text_encoding".
class CNoteBookJson
{
public:
    // Prints the notebook as the JSON object it is, a note at a time, so that a notebook of a
    // million notes is never held a second time. Raises std::runtime_error when the output fails.
    static void Write(const CNoteBook& book, std::FILE* out);

    // Fills a new notebook from JSON written by Dump (or by hand). "password" may be a string, the
    // new password; true asks for the password to come from elsewhere (passwordWanted). Raises
    // std::runtime_error naming the field that is wrong.
    static void Load(const nlohmann::ordered_json& json, CNoteBook& book, bool& passwordWanted);
};
