#include "tools/CMergeTool.h"

#include "model/CNoteBook.h"
#include "model/CNoteBookMerge.h"
#include "tools/CLineDiff.h"

#include <cstdio>
#include <iostream>
#include <memory>
#include <sys/stat.h>

namespace {

constexpr int kTrouble = 2;

int Failure(const std::string& text)
{
    std::cerr << "pelmora-tool: " << text << '\n';
    return kTrouble;
}

// Git's ancestor of a file added on both branches. A base that is missing is an error: a merge
// without one would keep notes either side deleted.
bool IsEmptyFile(const std::string& path)
{
    struct stat st
    {
    };
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size == 0;
}

// Titles as one line, whatever they hold.
std::string Shown(const std::string& title)
{
    std::string line;
    for (char c : title)
        line += (c == '\n' || c == '\r') ? ' ' : c;
    return line;
}

} // namespace

CMergeTool::CMergeTool(std::string passwordFile, std::string passphraseFile)
    : m_password(std::move(passwordFile), std::move(passphraseFile))
{
}

bool CMergeTool::Read(CNoteBook& book, const std::string& file)
{
    if (book.ReadFile(file))
        return true;
    if (m_password.WentUnanswered())
        Failure("the notebook is locked: give its password with --password-file or PELMORA_PASSWORD");
    return false;
}

// Each text of a notebook compared is hashed as it is read, not read again to be hashed.
bool CMergeTool::ReadToCompare(CNoteBook& book, const std::string& file)
{
    book.HashTextsOnRead();
    return Read(book, file);
}

// A side the reader filled out cannot tell its lost notes from deleted ones.
bool CMergeTool::ReadSide(CNoteBook& book, const std::string& file)
{
    if (!ReadToCompare(book, file))
        return false;
    if (!book.WasFilledOut())
        return true;
    Failure(file + " is damaged: it holds fewer notes than its header counts, or bytes after its last note. "
                   "Its missing notes would be taken as deleted: nothing was merged");
    return false;
}

int CMergeTool::Merge(const std::string& base, const std::string& ours, const std::string& theirs,
                      const std::string& out)
{
    // The ancestor is needed only as fingerprints: it goes before the two sides are read.
    std::vector<NoteFingerprint> ancestor;
    const bool twoWay = IsEmptyFile(base);
    if (!twoWay) {
        auto book = std::make_unique<CNoteBook>();
        if (!ReadToCompare(*book, base))
            return Failure("cannot read the base " + base + ": nothing was merged");
        ancestor = CNoteMatcher::Fingerprints(*book);
    }
    CNoteBook mine;
    CNoteBook other;
    if (!ReadSide(mine, ours) || !ReadSide(other, theirs))
        return kTrouble;
    CNoteBook merged;
    // The sides outlive the merged notebook: its texts are written from their files.
    const CNoteBookMerge::Result result =
        twoWay ? CNoteBookMerge::MergeTwoWay(mine, other, merged, CNoteBookMerge::Texts::inFiles)
               : CNoteBookMerge::Merge(ancestor, mine, other, merged, CNoteBookMerge::Ancestor::exact,
                                       CNoteBookMerge::Texts::inFiles);
    const CNote* unstorable = nullptr;
    if (merged.FindUnstorable(unstorable))
        return Failure(
            (unstorable ? "the note \"" + unstorable->GetTitle() + "\"" : std::string("the password")) +
            " holds characters that Windows-1252 cannot store; nothing was written");
    if (!merged.WriteFile(out.empty() ? ours : out))
        return kTrouble;
    if (result.conflicts > 0)
        std::cerr << "pelmora-tool: " << result.conflicts
                  << " notes changed on both sides were kept twice; look for \"(changed elsewhere)\"\n";
    return result.conflicts > 0 ? 1 : 0;
}

int CMergeTool::Diff(const std::string& a, const std::string& b)
{
    CNoteBook before;
    CNoteBook after;
    if (!ReadToCompare(before, a) || !ReadToCompare(after, b))
        return kTrouble;
    const CNoteMatcher::Matching m =
        CNoteMatcher::Match(CNoteMatcher::Fingerprints(before), CNoteMatcher::Fingerprints(after));
    std::ios::sync_with_stdio(false);
    bool differ = false;
    for (std::size_t i = 0; i < before.GetCount(); ++i)
        if (m.earlierToLater[i] == CNoteMatcher::kNone) {
            std::cout << "removed " << i + 1 << ": " << Shown(before.GetNoteAtIndex(i)->GetTitle()) << '\n';
            differ = true;
        }
    for (std::size_t j = 0; j < after.GetCount(); ++j) {
        const CNote& note = *after.GetNoteAtIndex(j);
        const std::int32_t i = m.laterToEarlier[j];
        if (i == CNoteMatcher::kNone) {
            std::cout << "added " << j + 1 << ": " << Shown(note.GetTitle()) << '\n';
            differ = true;
            continue;
        }
        const CNote& old = *before.GetNoteAtIndex(static_cast<std::size_t>(i));
        if (m.moved[i]) {
            std::cout << "moved " << i + 1 << " -> " << j + 1 << ": " << Shown(note.GetTitle()) << '\n';
            differ = true;
        }
        if (!m.edited[i])
            continue;
        differ = true;
        std::cout << "changed " << j + 1 << ": " << Shown(note.GetTitle()) << '\n';
        if (old.GetTitle() != note.GetTitle())
            std::cout << "    title: " << Shown(old.GetTitle()) << " -> " << Shown(note.GetTitle()) << '\n';
        else if (old.GetText() == note.GetText())
            std::cout << "    stored in another code page\n";
        for (const std::string& line : CLineDiff::Unified(old.GetText(), note.GetText()))
            std::cout << "    " << line << '\n';
    }
    std::cout.flush();
    if (!std::cout)
        return Failure("cannot write to standard output");
    return differ ? 1 : 0;
}

int CMergeTool::Show(const std::string& file)
{
    CNoteBook book;
    if (!Read(book, file))
        return 1;
    std::ios::sync_with_stdio(false);
    for (std::size_t i = 0; i < book.GetCount(); ++i) {
        const CNote& note = *book.GetNoteAtIndex(i);
        std::cout << "=== " << i + 1 << ": " << Shown(note.GetTitle()) << '\n' << note.GetText();
        if (!note.GetText().empty() && note.GetText().back() != '\n')
            std::cout << '\n';
    }
    std::cout.flush();
    if (std::cout)
        return 0;
    Failure("cannot write to standard output");
    return 1;
}
