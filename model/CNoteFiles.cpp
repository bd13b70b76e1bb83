#include "model/CNoteFiles.h"

#include "model/CNoteBook.h"
#include "model/CTextCodec.h"
#include "model/ExportName.h"
#include "model/ImportedText.h"
#include "platform/CMappedFile.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string_view>

namespace fs = std::filesystem;

namespace {

std::string ReadText(const std::string& path)
{
    // Regular files only: opening a FIFO would wait for a writer for ever.
    std::error_code error;
    if (!fs::is_regular_file(path, error))
        throw std::runtime_error("cannot read " + path);
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path);
    std::string text(std::istreambuf_iterator<char>(in), {});
    if (in.bad())
        throw std::runtime_error("cannot read " + path);
    return text;
}

// Asks the system whether the files the notes' texts are still in are as they were read; false,
// with the reason, when one of them was changed by another program.
bool TextFilesIntact(const std::vector<const CNote*>& notes, std::string& error)
{
    const CMappedFile* asked = nullptr;
    for (const CNote* note : notes) {
        if (!note->HasStoredText() || note->GetStoredText().file == asked)
            continue;
        asked = note->GetStoredText().file;
        if (!asked->IsIntact()) {
            error = "another program changed the notebook's file: the texts not yet read from it are gone";
            return false;
        }
    }
    return true;
}

// A note's text, read without being kept, so that exporting a large notebook does not hold it in
// memory; false, with the reason, when it is gone.
bool TextToWrite(const CNote& note, std::string& scratch, std::string_view& text, std::string& error)
{
    text = note.ReadText(scratch);
    if (note.IsTextLost() || (note.HasStoredText() && !note.GetStoredText().file->WasIntact())) {
        error =
            "the text of \"" + note.GetTitle() + "\" is gone: another program changed the notebook's file";
        return false;
    }
    return true;
}

} // namespace

bool CNoteFiles::WriteFolder(const std::vector<const CNote*>& notes, const std::string& directory,
                             std::string& error)
{
    std::error_code made;
    fs::create_directories(directory, made);
    if (made) {
        error = "cannot create " + directory + ": " + made.message();
        return false;
    }
    if (!TextFilesIntact(notes, error))
        return false;
    std::size_t position = 0;
    std::string scratch;
    for (const CNote* note : notes) {
        std::string_view text;
        if (!TextToWrite(*note, scratch, text, error))
            return false;
        const fs::path target = fs::path(directory) / ExportName(++position, notes.size(), note->GetTitle());
        std::ofstream out(target, std::ios::binary | std::ios::trunc);
        out << text;
        out.close();
        if (!out) {
            error = "cannot write " + target.string();
            return false;
        }
    }
    // Changed in place meanwhile: what was read may not be the notes.
    return TextFilesIntact(notes, error);
}

bool CNoteFiles::WriteMarkdown(const std::vector<const CNote*>& notes, const std::string& path,
                               std::string& error)
{
    if (!TextFilesIntact(notes, error))
        return false;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    std::string scratch;
    for (std::size_t i = 0; i < notes.size() && out; ++i) {
        std::string_view text;
        if (!TextToWrite(*notes[i], scratch, text, error))
            return false;
        out << (i > 0 ? "\n" : "") << "# " << notes[i]->GetTitle() << "\n\n" << text;
        if (!text.empty() && text.back() != '\n')
            out << '\n';
    }
    out.close();
    if (!out) {
        error = "cannot write " + path;
        return false;
    }
    return TextFilesIntact(notes, error);
}

CNoteFiles::ReadOutcome CNoteFiles::ReadFiles(const std::vector<std::string>& paths,
                                              const std::string& encoding)
{
    ReadOutcome outcome;
    for (const std::string& path : paths) {
        ImportedText text = DecodeImportedText(ReadText(path), encoding);
        if (std::string notice = text.Notice(path); !notice.empty())
            outcome.notices.push_back(std::move(notice));
        outcome.refused = outcome.refused || !text.Imported();
        if (text.Imported())
            // Names from elsewhere may be in the Windows code page; the notebook holds UTF-8.
            outcome.notes.emplace_back(CTextCodec::AsUtf8(fs::path(path).stem().string()),
                                       std::move(text.text));
    }
    return outcome;
}

void CNoteFiles::AddTo(CNoteBook& book, std::vector<FileNote> notes)
{
    for (auto& [title, text] : notes) {
        CNote* note = book.AddNote(true, true);
        note->SetTitle(std::move(title));
        note->SetText(std::move(text));
    }
}

std::vector<const CNote*> CNoteFiles::AllNotes(const CNoteBook& book)
{
    std::vector<const CNote*> notes;
    notes.reserve(book.GetCount());
    for (std::size_t i = 0; i < book.GetCount(); ++i)
        notes.push_back(book.GetNoteAtIndex(i));
    return notes;
}
