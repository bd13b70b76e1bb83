#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

class CNote;
class CNoteBook;

// Notes to and from plain files, the same for the window and pelmora-tool: a folder of text files,
// one Markdown file, and text files read in as notes.
class CNoteFiles
{
public:
    // A title and a text, read from one file.
    using FileNote = std::pair<std::string, std::string>;
    // Told after each note or file how many are done of how many; false stops the work.
    using Progress = std::function<bool(std::size_t done, std::size_t total)>;

    // One UTF-8 file per note in the folder, made when missing, named by ExportName. False, with
    // the reason in error, at the first file that cannot be written or the first text that is gone
    // (another program changed the notebook's file). Texts still in the file are read, not kept.
    // Stopped by progress, it returns false with error empty: the files of the notes done are
    // whole and on the disk, and no other was touched.
    static bool WriteFolder(const std::vector<const CNote*>& notes, const std::string& directory,
                            std::string& error, const Progress& progress = {});
    // "# title", a blank line and the text, for each note, with a blank line between notes.
    // Stopped by progress, it returns false with error empty and the file as it was.
    static bool WriteMarkdown(const std::vector<const CNote*>& notes, const std::string& path,
                              std::string& error, const Progress& progress = {});

    // What reading text files in gave: the notes, and a line for each file whose encoding was
    // guessed or that was refused.
    struct ReadOutcome
    {
        std::vector<FileNote> notes;
        std::vector<std::string> notices;
        bool refused = false;
        bool stopped = false; // by progress: no notes then
    };
    // Every file read before any note is made, so a bad path changes nothing. Each file name
    // without its extension is a title; the bytes are decoded as DecodeImportedText says, in the
    // encoding named when one is. Throws std::runtime_error naming a file that cannot be read.
    static ReadOutcome ReadFiles(const std::vector<std::string>& paths, const std::string& encoding = {},
                                 const Progress& progress = {});
    // The notes at the notebook's end, marking it modified.
    static void AddTo(CNoteBook& book, std::vector<FileNote> notes);

    // Every note of the notebook, first to last.
    static std::vector<const CNote*> AllNotes(const CNoteBook& book);
};
