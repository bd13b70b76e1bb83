#include "model/CNoteFiles.h"

#include "model/CBufferedFile.h"
#include "model/CNoteBook.h"
#include "model/CTextCodec.h"
#include "model/ExportName.h"
#include "model/ImportedText.h"
#include "platform/AtomicFile.h"
#include "platform/CMappedFile.h"
#include "platform/CSafeSave.h"
#include "platform/CSafeSaveGroup.h"

#include <cerrno>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
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

// "cannot write PATH: reason", where the system said why.
std::string CannotWrite(const std::string& path, int osError)
{
    const std::string reason = CFileException::Reason(osError);
    return "cannot write " + path + (reason.empty() ? reason : ": " + reason);
}

// Replaces the file at path with what write puts in it, through a temporary file and a rename, so
// that a full disk or a crash leaves an earlier file whole. False, with the reason in error, when
// write returns false (having said why) or the file cannot be written.
bool ReplaceFile(const std::string& path, std::string& error, const std::function<bool(CFile&)>& write)
{
    CSafeSave save(path);
    int osError = 0;
    try {
        const bool begun = save.Begin();
        if (begun && !write(save.GetFile()))
            return false;
        if (begun && save.Commit())
            return true;
        osError = save.GetError();
    } catch (const CFileException& failed) {
        osError = static_cast<int>(failed.m_lOsError);
    }
    error = CannotWrite(path, osError);
    return false;
}

// The note's file, written whole and handed to the group, which names it once it is on the disk.
// False, with the reason in error, when it cannot be written or the group could not commit.
bool WriteToGroup(CSafeSaveGroup& group, const CNote& note, const std::string& path, std::string& scratch,
                  std::string& error)
{
    std::unique_ptr<CSafeSave> save = CSafeSaveGroup::NewSave(path);
    std::string_view text;
    try {
        if (!save->Begin()) {
            error = CannotWrite(path, save->GetError());
            return false;
        }
        if (!TextToWrite(note, scratch, text, error))
            return false;
        save->GetFile().Write(text.data(), text.size());
    } catch (const CFileException& failed) {
        error = CannotWrite(path, static_cast<int>(failed.m_lOsError));
        return false;
    }
    if (group.Add(std::move(save), text.size()))
        return true;
    error = CannotWrite(group.GetFailedPath(), group.GetError());
    return false;
}

// The files the group holds are put in place and the folder synced, when the export ends or
// stops; the reason of the first failure is kept.
bool FinishGroup(CSafeSaveGroup& group, std::string& error)
{
    if (group.Finish())
        return true;
    if (error.empty())
        error = CannotWrite(group.GetFailedPath(), group.GetError());
    return false;
}

} // namespace

bool CNoteFiles::WriteFolder(const std::vector<const CNote*>& notes, const std::string& directory,
                             std::string& error, const Progress& progress)
{
    if (!MakeFolders(directory)) {
        error = "cannot create " + directory + ": " + CFileException::Reason(errno);
        return false;
    }
    if (!TextFilesIntact(notes, error))
        return false;
    std::vector<std::string> targets;
    for (const CNote* note : notes)
        targets.push_back(
            (fs::path(directory) / ExportName(targets.size() + 1, notes.size(), note->GetTitle())).string());
    CSafeSave::RemoveStaleTemporaries(targets);
    // Files go to the disk a group at a time, in one wait each, and take their names after.
    CSafeSaveGroup group(directory);
    std::string scratch;
    for (std::size_t i = 0; i < notes.size(); ++i) {
        if (!WriteToGroup(group, *notes[i], targets[i], scratch, error)) {
            // The files written whole before it are put in place.
            FinishGroup(group, error);
            return false;
        }
        if (progress && i + 1 < notes.size() && !progress(i + 1, notes.size())) {
            // The files written stay, whole and on the disk; a failure to make them so is told.
            FinishGroup(group, error);
            return false;
        }
    }
    if (!FinishGroup(group, error))
        return false;
    // Changed in place meanwhile: what was read may not be the notes.
    return TextFilesIntact(notes, error);
}

bool CNoteFiles::WriteMarkdown(const std::vector<const CNote*>& notes, const std::string& path,
                               std::string& error, const Progress& progress)
{
    if (!TextFilesIntact(notes, error))
        return false;
    std::string scratch;
    const bool written = ReplaceFile(path, error, [&](CFile& file) {
        CBufferedFile out(file);
        for (std::size_t i = 0; i < notes.size(); ++i) {
            std::string_view text;
            if (!TextToWrite(*notes[i], scratch, text, error))
                return false;
            const std::string head = (i > 0 ? "\n# " : "# ") + notes[i]->GetTitle() + "\n\n";
            out.Write(head.data(), head.size());
            out.Write(text.data(), text.size());
            if (!text.empty() && text.back() != '\n')
                out.Write("\n", 1);
            if (progress && i + 1 < notes.size() && !progress(i + 1, notes.size()))
                return false;
        }
        out.FlushBuffer();
        return true;
    });
    return written && TextFilesIntact(notes, error);
}

CNoteFiles::ReadOutcome CNoteFiles::ReadFiles(const std::vector<std::string>& paths,
                                              const std::string& encoding, const Progress& progress)
{
    ReadOutcome outcome;
    for (std::size_t i = 0; i < paths.size(); ++i) {
        if (progress && i > 0 && !progress(i, paths.size())) {
            ReadOutcome stopped;
            stopped.stopped = true;
            return stopped;
        }
        const std::string& path = paths[i];
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
