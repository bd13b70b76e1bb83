#include "fuzz/ImportFuzzTarget.h"

#include "fuzz/FuzzScratch.h"
#include "model/CNoteBook.h"
#include "model/CNoteFiles.h"
#include "model/CTextCodec.h"
#include "model/ImportedText.h"
#include "support/NoteBookBytes.h"

#include <algorithm>
#include <cstdio>
#include <iconv.h>
#include <string>
#include <string_view>

namespace {

constexpr std::size_t kLongestName = 200;

// UTF-8 back to the Unicode encoding a byte-order mark named.
std::string Encoded(const std::string& utf8, const char* encoding)
{
    const iconv_t cd = ::iconv_open(encoding, "UTF-8");
    FuzzCheck(cd != reinterpret_cast<iconv_t>(-1), "iconv knows the Unicode encodings");
    std::string out(utf8.size() * 4, '\0');
    char* in = const_cast<char*>(utf8.data());
    std::size_t inLeft = utf8.size();
    char* at = out.data();
    std::size_t outLeft = out.size();
    FuzzCheck(::iconv(cd, &in, &inLeft, &at, &outLeft) != static_cast<std::size_t>(-1),
              "imported text encodes back to its encoding");
    ::iconv_close(cd);
    out.resize(out.size() - outLeft);
    return out;
}

// The decoded text against the bytes it came from.
void CheckDecoded(std::string_view bytes, const ImportedText& text)
{
    if (text.Imported()) {
        FuzzCheck(CTextCodec::IsValidUtf8(text.text), "imported text is UTF-8");
        FuzzCheck(text.text.find('\0') == std::string::npos, "imported text holds no NUL");
    }
    std::string back;
    switch (text.kind) {
    case ImportedText::utf8:
        FuzzCheck(text.text == bytes, "UTF-8 is imported as it is, its byte-order mark too");
        break;
    case ImportedText::utf16:
    case ImportedText::utf32:
        FuzzCheck(Encoded(text.text, text.encoding.c_str()) == bytes.substr(text.mark),
                  "UTF-16 and UTF-32 encode back to the file's bytes");
        break;
    case ImportedText::windows1252:
        FuzzCheck(CTextCodec(CTextCodec::toWindows1252).Convert(text.text, back) && back == bytes,
                  "Windows-1252 encodes back to the file's bytes");
        [[fallthrough]];
    case ImportedText::mixed:
        // Each byte read as Windows-1252 is a character of two or three bytes in UTF-8.
        FuzzCheck(text.windows1252Bytes > 0 && text.text.size() >= bytes.size() + text.windows1252Bytes &&
                      text.text.size() <= bytes.size() + 2 * text.windows1252Bytes,
                  "a byte read as Windows-1252 is one character");
        break;
    case ImportedText::legacy:
        FuzzCheck(text.guessed && DecodeImportedText(bytes, text.encoding).text == text.text,
                  "a guessed code page reads the file as that code page named does");
        break;
    case ImportedText::binary:
        FuzzCheck(bytes.find('\0') != std::string_view::npos, "only a file with NUL bytes is no text");
        break;
    case ImportedText::badUnicode:
    case ImportedText::badEncoding:
        break;
    }
}

// A notebook of the Windows program's code page, for the import to add to.
std::string Windows1252NoteBook()
{
    NoteBookBytes::Header h;
    h.count = 2;
    NoteBookBytes b;
    b.Head(h).Note(1, "Caf\xE9", "5 \x80").Note(2, "", "text");
    return b.bytes;
}

// The note goes to the notebook's end and comes back from its file as it went in, after the
// notebook's own notes. A character its code page cannot store keeps it from being written.
void CheckAddedTo(CNoteBook& book, const CNoteFiles::FileNote& note, const std::string& file)
{
    FuzzNotes expected = NotesOf(book);
    expected.push_back(note);
    CNoteFiles::AddTo(book, {note});
    FuzzCheck(NotesOf(book) == expected, "the note goes to the end of the notebook");
    const CNote* unstorable = nullptr;
    if (book.FindUnstorable(unstorable)) {
        FuzzCheck(unstorable == book.GetNoteAtIndex(book.GetCount() - 1),
                  "only the new note can be unstorable");
        return;
    }
    FuzzCheck(book.WriteFile(file), "the notebook with the note can be saved");
    CNoteBook again;
    FuzzCheck(again.ReadFile(file) && NotesOf(again) == expected, "the imported note survives a save");
}

} // namespace

bool FuzzTextImport(const std::uint8_t* data, std::size_t size)
{
    static const FuzzScratch scratch;
    AnswerPromptsForFuzzing();
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t lineBreak = input.find('\n');
    std::string name(input.substr(0, std::min(lineBreak, kLongestName)));
    std::replace(name.begin(), name.end(), '/', '_');
    std::replace(name.begin(), name.end(), '\0', '_');
    const std::string_view bytes = lineBreak == std::string_view::npos ? "" : input.substr(lineBreak + 1);

    const ImportedText decoded = DecodeImportedText(bytes);
    CheckDecoded(bytes, decoded);
    const std::string path = scratch.Write(name + ".txt", bytes);
    CNoteFiles::ReadOutcome read = CNoteFiles::ReadFiles({path});
    std::remove(path.c_str());
    FuzzCheck(read.notes.size() == (decoded.Imported() ? 1u : 0u),
              "a note for a text file, none for other files");
    FuzzCheck(!read.refused || !read.notices.empty(), "a refused file is named in a notice");
    if (read.notes.empty())
        return false;
    FuzzCheck(read.notes[0].second == decoded.text, "the file is read as its bytes decode");
    FuzzCheck(CTextCodec::IsValidUtf8(read.notes[0].first), "the title is UTF-8");

    CNoteBook fresh;
    CheckAddedTo(fresh, read.notes[0], scratch.File("new.pelm"));
    CNoteBook windows;
    FuzzCheck(windows.ReadFile(scratch.Write("windows.pelm", Windows1252NoteBook())),
              "the Windows-1252 notebook opens");
    CheckAddedTo(windows, read.notes[0], scratch.File("windows.pelm"));
    return true;
}
