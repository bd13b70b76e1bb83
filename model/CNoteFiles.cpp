#include "model/CNoteFiles.h"

#include "model/CNoteBook.h"
#include "model/CTextCodec.h"
#include "model/ExportName.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

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
    std::size_t position = 0;
    for (const CNote* note : notes) {
        const fs::path target = fs::path(directory) / ExportName(++position, notes.size(), note->GetTitle());
        std::ofstream out(target, std::ios::binary | std::ios::trunc);
        out << note->GetText();
        out.close();
        if (!out) {
            error = "cannot write " + target.string();
            return false;
        }
    }
    return true;
}

bool CNoteFiles::WriteMarkdown(const std::vector<const CNote*>& notes, const std::string& path,
                               std::string& error)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    for (std::size_t i = 0; i < notes.size() && out; ++i) {
        const std::string& text = notes[i]->GetText();
        out << (i > 0 ? "\n" : "") << "# " << notes[i]->GetTitle() << "\n\n" << text;
        if (!text.empty() && text.back() != '\n')
            out << '\n';
    }
    out.close();
    if (!out) {
        error = "cannot write " + path;
        return false;
    }
    return true;
}

std::vector<CNoteFiles::FileNote> CNoteFiles::ReadFiles(const std::vector<std::string>& paths)
{
    std::vector<FileNote> notes;
    for (const std::string& path : paths)
        // Text files from elsewhere may be in the Windows code page; the notebook holds UTF-8.
        notes.emplace_back(CTextCodec::AsUtf8(fs::path(path).stem().string()),
                           CTextCodec::AsUtf8(ReadText(path)));
    return notes;
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
