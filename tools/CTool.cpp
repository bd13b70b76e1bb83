#include "tools/CTool.h"

#include "model/CEncryptedFile.h"
#include "model/CNoteBook.h"
#include "model/CNoteBookReader.h"
#include "model/CNoteBookRecords.h"
#include "model/CNoteBookSecret.h"
#include "model/CNoteFiles.h"
#include "model/PassphraseText.h"
#include "platform/CBackupStore.h"
#include "platform/CSecureBytes.h"
#include "text/CReplaceAll.h"
#include "text/TextLines.h"
#include "tools/CNoteBookJson.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sodium.h>
#include <stdexcept>

namespace fs = std::filesystem;

namespace {

int Failure(const std::string& text)
{
    std::cerr << "pelmora-tool: " << text << '\n';
    return 1;
}

// The tool never changes a notebook's code page; a character it lacks stops the write.
bool Storable(const CNoteBook& book)
{
    const CNote* note = nullptr;
    if (!book.FindUnstorable(note))
        return true;
    Failure((note ? "the note \"" + note->GetTitle() + "\"" : std::string("the password")) +
            " holds characters that Windows-1252 cannot store; the notebook keeps its code page");
    return false;
}

// What the reader forgave: records missing at the end, which it read as empty notes, and bytes
// after the last record, which it did not read.
void PrintRecords(const std::string& file)
{
    CNoteBookRecords records;
    if (!records.Count(file))
        return;
    if (records.GetPresent() < records.GetCounted())
        std::printf("records: the header counts %u, the file holds %u; the %u missing read as empty notes\n",
                    records.GetCounted(), records.GetPresent(), records.GetCounted() - records.GetPresent());
    if (records.GetTrailing() > 0)
        std::printf("trailing bytes: %llu after the last record the header counts, not read\n",
                    static_cast<unsigned long long>(records.GetTrailing()));
}

void PrintView(const CNoteBookReader::Header& header)
{
    const CViewSettings& view = header.view;
    std::printf("word wrap: %s\n", view.m_bWordWrap ? "on" : "off");
    if (header.version >= 8)
        std::printf("pane shares: %d %d\n", view.m_paneFirst, view.m_paneSecond);
    else
        std::printf("pane shares: not stored\n");
    const LogFont& f = view.m_font;
    std::printf("font: %s, height %d, weight %d\n", CViewSettings::FaceName(f).c_str(), f.lfHeight,
                f.lfWeight);
    const WindowPlacement& p = view.m_placement;
    if (header.version >= 7 && p.length != 0)
        std::printf("placement: show %u, normal %d %d %d %d\n", p.showCmd, p.left, p.top, p.right, p.bottom);
    else
        std::printf("placement: not stored\n");
}

// False, saying where the pattern is wrong, when it does not compile.
bool CompilePattern(CTextMatcher& matcher, const std::string& pattern, const CTextMatcher::Options& options)
{
    if (matcher.Compile(pattern, options))
        return true;
    Failure("bad pattern at character " + std::to_string(matcher.GetErrorOffset() + 1) + ": " +
            matcher.GetError());
    return false;
}

// Argon2id's memory as the document names it: KiB unless it is whole MiB.
std::string MemoryText(unsigned long long bytes)
{
    if (bytes >= (1ull << 20) && bytes % (1ull << 20) == 0)
        return std::to_string(bytes >> 20) + " MiB";
    return std::to_string(bytes >> 10) + " KiB";
}

} // namespace

// No notebook's notes in a core file, whatever kind of notebook.
CTool::CTool(std::string passwordFile, std::string passphraseFile)
    : m_password(std::move(passwordFile), std::move(passphraseFile))
{
    ForbidCoreDumps();
}

bool CTool::Read(CNoteBook& book, const std::string& file)
{
    if (book.ReadFile(file))
        return true;
    if (m_password.WentUnanswered())
        Failure("the notebook is locked or encrypted: give its password with --password-file or "
                "PELMORA_PASSWORD, an encrypted notebook's passphrase also with --passphrase-file");
    return false;
}

// The notebook is read and checked whole, as the window reads it; the header alone is the quick
// look that needs no password. What an encrypted notebook holds is known only after it is opened.
int CTool::Info(const std::string& file, bool headerOnly)
{
    CNoteBookReader::Header header;
    if (headerOnly && !CEncryptedFile::HasMagic(file)) {
        if (!CNoteBookReader::PeekHeader(file, header))
            return 1;
    } else {
        CNoteBook& book = NoteBook();
        if (!Read(book, file))
            return 1;
        header.version = book.GetFileVersion();
        header.count = static_cast<std::uint32_t>(book.GetCount());
        header.passwordLength = static_cast<std::uint32_t>(book.GetPassword().size());
        header.view = book.GetViewSettings();
        if (book.GetSecret()) {
            const CSealKey::Params& params = book.GetSecret()->GetKey().GetParams();
            std::printf("encrypted: yes, Argon2id with %s and %llu passes\n",
                        MemoryText(static_cast<unsigned long long>(params.memLimit)).c_str(),
                        static_cast<unsigned long long>(params.opsLimit));
        }
    }
    std::printf("version: %u\nnotes: %u\nlocked: %s\n", header.version, header.count,
                header.passwordLength > 0 ? "yes" : "no");
    PrintView(header);
    if (!CEncryptedFile::HasMagic(file))
        PrintRecords(file);
    return 0;
}

// The one notebook a run of the tool works on lives until the process ends: freeing a million notes
// one by one would take a third as long as reading them, and the system takes the memory back at
// once. It stays reachable, so leak checkers do not count it.
CNoteBook& CTool::NoteBook()
{
    static CNoteBook* const book = new CNoteBook;
    return *book;
}

int CTool::Dump(const std::string& file)
{
    CNoteBook& book = NoteBook();
    if (!Read(book, file))
        return 1;
    try {
        CNoteBookJson::Write(book, stdout);
    } catch (const std::runtime_error& error) {
        return Failure(error.what());
    }
    return std::fflush(stdout) == 0 ? 0 : Failure("cannot write to standard output");
}

int CTool::Load(const std::string& file)
{
    CNoteBook& book = NoteBook();
    try {
        bool passwordWanted = false;
        CNoteBookJson::Load(nlohmann::ordered_json::parse(std::cin), book, passwordWanted);
        std::string password;
        if (passwordWanted) {
            if (!m_password.Get("Enter NoteBook password:", password))
                return Failure("the notebook is to be locked: give its password with --password-file or "
                               "PELMORA_PASSWORD, or as a string in \"password\"");
            book.SetPassword(password);
        }
    } catch (const std::exception& e) {
        return Failure(std::string("bad notebook JSON on standard input: ") + e.what());
    }
    return Write(book, file);
}

int CTool::Export(const std::string& file, const std::string& directory)
{
    CNoteBook& book = NoteBook();
    if (!Read(book, file))
        return 1;
    std::string error;
    if (!CNoteFiles::WriteFolder(CNoteFiles::AllNotes(book), directory, error))
        return Failure(error);
    return 0;
}

int CTool::Import(const std::string& file, const std::vector<std::string>& paths, const std::string& encoding)
{
    CNoteBook& book = NoteBook();
    std::error_code error;
    if (fs::exists(fs::symlink_status(file, error)) && !Read(book, file))
        return 1;
    // Every file is read before the notebook changes, so a bad path leaves it as it was.
    CNoteFiles::ReadOutcome read;
    try {
        read = CNoteFiles::ReadFiles(paths, encoding);
    } catch (const std::exception& e) {
        return Failure(e.what());
    }
    for (const std::string& notice : read.notices)
        Failure(notice);
    if (read.notes.empty())
        return 1;
    CNoteFiles::AddTo(book, std::move(read.notes));
    const int written = Write(book, file);
    return read.refused ? 1 : written;
}

int CTool::Grep(const std::string& pattern, const std::string& file, const CTextMatcher::Options& options)
{
    CTextMatcher matcher;
    if (!CompilePattern(matcher, pattern, options))
        return 2;
    CNoteBook& book = NoteBook();
    if (!Read(book, file))
        return 2;
    std::ios::sync_with_stdio(false); // a line per occurrence can be millions of lines
    bool found = false;
    for (std::size_t i = 0; i < book.GetCount(); ++i) {
        const CNote& note = *book.GetNoteAtIndex(i);
        // One line per occurrence; a title occurrence shows the title as its line.
        const auto print = [&](std::string_view text) {
            return matcher.ForEachMatch(text, [&](std::size_t start, std::size_t) {
                const std::string_view line = LineAround(text, start);
                std::cout << i + 1 << ':' << note.GetTitle() << ':' << line << '\n';
                found = true;
                return true;
            });
        };
        if (!print(note.GetTitle()) || !print(note.GetText())) {
            Failure("the pattern ran away on note " + std::to_string(i + 1) + " and hit the match limit");
            return 2;
        }
    }
    std::cout.flush();
    if (!std::cout) {
        Failure("cannot write to standard output");
        return 2;
    }
    return found ? 0 : 1;
}

int CTool::Replace(const std::string& pattern, const std::string& replacement, const std::string& file,
                   const CTextMatcher::Options& options, bool dryRun)
{
    CTextMatcher matcher;
    if (!CompilePattern(matcher, pattern, options))
        return 2;
    CNoteBook& book = NoteBook();
    if (!Read(book, file))
        return 1;
    // Counted first, so a pattern that runs away on any note changes nothing.
    const CReplaceAll::Outcome counted = CReplaceAll::Count(book, matcher);
    if (counted.stoppedAt >= 0) {
        Failure("the pattern ran away on note " + std::to_string(book.IndexOf(counted.stoppedAt) + 1) +
                " and hit the match limit; nothing was replaced");
        return 2;
    }
    const std::string said =
        std::to_string(counted.occurrences) + " occurrences in " + std::to_string(counted.notes) + " notes";
    if (dryRun || counted.occurrences == 0) {
        std::printf("%s%s\n", dryRun ? "would replace " : "replaced ", said.c_str());
        return 0;
    }
    CTextReplacer replacer(matcher, replacement);
    CReplaceAll step;
    step.Run(book, replacer);
    step.Forget();
    if (const int status = Write(book, file))
        return status;
    std::printf("replaced %s\n", said.c_str());
    return 0;
}

bool CTool::EncryptFor(CNoteBook& book, const std::string& target)
{
    if (!CEncryptedFile::HasEncryptedName(target)) {
        book.SetSecret(nullptr);
        return true;
    }
    if (book.GetSecret())
        return true;
    std::string entered;
    if (!m_password.GetPassphrase("Enter the passphrase for the encrypted notebook:", entered)) {
        Failure(
            "the notebook is to be encrypted: give its passphrase with --passphrase-file, --password-file or "
            "PELMORA_PASSWORD");
        return false;
    }
    CSecureBytes passphrase(entered);
    sodium_memzero(entered.data(), entered.size());
    if (PassphraseCharacters(passphrase) < static_cast<std::size_t>(CNoteBookSecret::kShortestPassphrase)) {
        Failure("the passphrase must be at least " + std::to_string(CNoteBookSecret::kShortestPassphrase) +
                " characters long");
        return false;
    }
    book.SetSecret(CNoteBookSecret::Create(std::move(passphrase)));
    if (book.GetSecret())
        return true;
    Failure("not enough memory to derive the key");
    return false;
}

int CTool::Write(CNoteBook& book, const std::string& target)
{
    if (!Storable(book) || !EncryptFor(book, target))
        return 1;
    // A notebook the tool rewrites keeps its backups as the window's saves keep them.
    return book.WriteFile(target, CBackupStore::DefaultFolder()) ? 0 : 1;
}

int CTool::Encrypt(const std::string& file, const std::string& target)
{
    if (!CEncryptedFile::HasEncryptedName(target))
        return Failure("an encrypted notebook's name ends in .pelmx: " + target);
    CNoteBook& book = NoteBook();
    if (!Read(book, file))
        return 1;
    return Write(book, target);
}

int CTool::Decrypt(const std::string& file, const std::string& target)
{
    // The Windows program must never meet an encrypted notebook, nor a plain one under that name.
    if (CEncryptedFile::HasEncryptedName(target))
        return Failure("a plain notebook's name does not end in .pelmx: " + target);
    CNoteBook& book = NoteBook();
    if (!Read(book, file))
        return 1;
    return Write(book, target);
}
