#include "app/CBookMerger.h"

#include "model/CNoteBook.h"
#include "model/CNoteBookSecret.h"
#include "model/INoteBookFrame.h"
#include "model/PasswordPrompt.h"
#include "platform/CAncestorStore.h"
#include "platform/MessageBox.h"
#include "platform/qt/CSliceProgress.h"
#include "platform/qt/WaitCursor.h"

#include <filesystem>

namespace {

// While it lives, notebooks are read without the window: its view settings stay as they are. The
// reader's questions go to answer.
class DetachedRead
{
public:
    explicit DetachedRead(PasswordHandler answer) : m_frame(GetAppMainFrame())
    {
        SetAppMainFrame(nullptr);
        m_previous = SetPasswordHandler(std::move(answer));
    }
    ~DetachedRead()
    {
        SetPasswordHandler(std::move(m_previous));
        SetAppMainFrame(m_frame);
    }
    DetachedRead(const DetachedRead&) = delete;
    DetachedRead& operator=(const DetachedRead&) = delete;

private:
    INoteBookFrame* m_frame;
    PasswordHandler m_previous;
};

bool IsPassphrasePrompt(const std::string& prompt)
{
    return prompt.find("passphrase") != std::string::npos;
}

// Answers with the open notebook's own password or passphrase.
PasswordHandler AnswerLike(const CNoteBook& open)
{
    return [&open](const std::string& prompt, std::string& answer) {
        if (!IsPassphrasePrompt(prompt)) {
            answer = open.GetPassword();
            return true;
        }
        if (!open.GetSecret())
            return false;
        answer.assign(open.GetSecret()->GetPassphrase().View());
        return true;
    };
}

// Asks the user, for a version locked with another password or passphrase.
PasswordHandler AskUser(INoteBookFrame* frame)
{
    return [frame](const std::string& prompt, std::string& answer) {
        if (!frame)
            return false;
        return IsPassphrasePrompt(prompt) ? frame->AskPassphrase(prompt, answer)
                                          : frame->AskPassword(prompt, answer);
    };
}

// Keeps the reader's messages to itself for as long as it lives.
class QuietMessages
{
public:
    QuietMessages()
    {
        m_previous = SetMessageBoxHandler([](const std::string&, unsigned style, const std::string&) {
            return DefaultMessageBoxAnswer(style);
        });
    }
    ~QuietMessages() { SetMessageBoxHandler(std::move(m_previous)); }
    QuietMessages(const QuietMessages&) = delete;
    QuietMessages& operator=(const QuietMessages&) = delete;

private:
    MessageBoxHandler m_previous;
};

} // namespace

// With the open notebook's secrets and no word on failure: on a worker, under DetachedRead and
// QuietMessages.
std::unique_ptr<CNoteBook> CBookMerger::ReadQuietly(const std::string& path)
{
    auto book = std::make_unique<CNoteBook>();
    // Every text of a version read for the merge is compared: hashed as it is read.
    book->HashTextsOnRead();
    if (book->ReadFile(path))
        return book;
    return nullptr;
}

// Again with the user asked and the reader's messages shown, for a version locked with another
// password or passphrase (another machine may have changed it) or one that failed to read.
std::unique_ptr<CNoteBook> CBookMerger::ReadAsking(const std::string& path)
{
    DetachedRead detached(AskUser(GetAppMainFrame()));
    auto book = std::make_unique<CNoteBook>();
    book->HashTextsOnRead();
    if (!book->ReadFile(path))
        return nullptr;
    return book;
}

bool CBookMerger::RunBeside(QWidget& window, const std::function<void(const GoOn&)>& work)
{
    CSliceProgress progress(&window, QObject::tr("Merging NoteBook..."));
    progress.RunAside([&](const CSliceProgress::Report& report) {
        work([&report] { return report(0, 0); });
        return true;
    });
    return !progress.WasCancelled();
}

CBookMerger::Outcome CBookMerger::Merge(QWidget& window, CNoteBook& open, const std::string& theirs,
                                        const std::string& ancestor, CNoteBookMerge::Ancestor kind)
{
    WaitCursor wait;
    Outcome outcome;
    // The ancestor is needed only as fingerprints: it is gone before the other side is read.
    std::vector<NoteFingerprint> prints;
    bool baseRead = ancestor.empty();
    std::unique_ptr<CNoteBook> other;
    {
        DetachedRead detached(AnswerLike(open));
        QuietMessages quiet;
        outcome.cancelled = !RunBeside(window, [&](const GoOn& goOn) {
            if (!baseRead)
                if (std::unique_ptr<CNoteBook> base = ReadQuietly(ancestor)) {
                    prints = CNoteMatcher::Fingerprints(*base);
                    baseRead = true;
                }
            if (goOn())
                other = ReadQuietly(theirs);
        });
    }
    if (outcome.cancelled)
        return outcome;
    if (!baseRead) {
        std::unique_ptr<CNoteBook> base = ReadAsking(ancestor);
        if (!base)
            return outcome;
        prints = CNoteMatcher::Fingerprints(*base);
    }
    if (!other && !(other = ReadAsking(theirs)))
        return outcome;
    // A damaged version's missing notes are not taken as deleted: every note the other holds stays.
    if (open.WasFilledOut())
        TellDamaged(open.GetPath().GetFileName());
    if (other->WasFilledOut()) {
        TellDamaged(ShownName(open, theirs));
        kind = CNoteBookMerge::Ancestor::guessed;
    }
    const bool twoWay = ancestor.empty() || open.WasFilledOut();
    auto merged = std::make_unique<CNoteBook>();
    outcome.cancelled = !RunBeside(window, [&](const GoOn&) {
        outcome.result = twoWay ? CNoteBookMerge::MergeTwoWay(open, *other, *merged)
                                : CNoteBookMerge::Merge(prints, open, *other, *merged, kind);
    });
    if (!outcome.cancelled)
        outcome.merged = std::move(merged);
    return outcome;
}

// The version kept of the open notebook's own file is that file to the user.
std::string CBookMerger::ShownName(const CNoteBook& open, const std::string& path)
{
    const std::string kept = CAncestorStore::DefaultFolder();
    if (!kept.empty() && path.compare(0, kept.size() + 1, kept + "/") == 0 && open.GetPath().HasPath())
        return open.GetPath().GetFileName();
    return std::filesystem::path(path).filename().string();
}

void CBookMerger::TellDamaged(const std::string& name)
{
    AfxMessageBox("The notebook \"" + name +
                      "\" is damaged: it holds fewer notes than its header counts, or bytes after its last "
                      "note. No note missing there was taken as deleted.",
                  MB_ICONEXCLAMATION);
}
