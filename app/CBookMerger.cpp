#include "app/CBookMerger.h"

#include "model/CNoteBook.h"
#include "model/CNoteBookSecret.h"
#include "model/INoteBookFrame.h"
#include "model/PasswordPrompt.h"
#include "platform/qt/WaitCursor.h"

namespace {

// While it lives, notebooks read answer their prompts with the open notebook's secrets and leave
// the window alone.
class DetachedRead
{
public:
    explicit DetachedRead(const CNoteBook& open) : m_frame(GetAppMainFrame())
    {
        SetAppMainFrame(nullptr);
        m_previous = SetPasswordHandler([&open](const std::string& prompt, std::string& answer) {
            if (prompt.find("passphrase") != std::string::npos) {
                if (!open.GetSecret())
                    return false;
                answer.assign(open.GetSecret()->GetPassphrase().View());
                return true;
            }
            answer = open.GetPassword();
            return true;
        });
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

} // namespace

std::unique_ptr<CNoteBook> CBookMerger::ReadLike(const CNoteBook& open, const std::string& path)
{
    auto book = std::make_unique<CNoteBook>();
    DetachedRead detached(open);
    if (!book->ReadFile(path))
        return nullptr;
    return book;
}

CBookMerger::Outcome CBookMerger::Merge(CNoteBook& open, const std::string& theirs,
                                        const std::string& ancestor)
{
    WaitCursor wait;
    Outcome outcome;
    // The ancestor is needed only as fingerprints: it is gone before the other side is read.
    std::vector<NoteFingerprint> prints;
    if (!ancestor.empty()) {
        std::unique_ptr<CNoteBook> base = ReadLike(open, ancestor);
        if (!base)
            return outcome;
        prints = CNoteMatcher::Fingerprints(*base);
    }
    std::unique_ptr<CNoteBook> other = ReadLike(open, theirs);
    if (!other)
        return outcome;
    outcome.merged = std::make_unique<CNoteBook>();
    outcome.result = ancestor.empty() ? CNoteBookMerge::MergeTwoWay(open, *other, *outcome.merged)
                                      : CNoteBookMerge::Merge(prints, open, *other, *outcome.merged);
    return outcome;
}
