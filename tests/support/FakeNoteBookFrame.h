#pragma once

#include "model/INoteBookFrame.h"

#include <cstring>
#include <deque>
#include <string>
#include <vector>

// A main frame that records what the notebook asks of it, installed for as long as it lives.
class FakeNoteBookFrame : public INoteBookFrame
{
public:
    FakeNoteBookFrame() { SetAppMainFrame(this); }
    ~FakeNoteBookFrame() override { SetAppMainFrame(nullptr); }

    bool GetWordWrap() const override { return wordWrap; }
    void SetWordWrap(bool wrap) override
    {
        calls.push_back(std::string("SetWordWrap ") + (wrap ? "1" : "0"));
    }
    void GetWindowPlacement(WindowPlacement& p) const override { p = placement; }
    void SetWindowPlacement(const WindowPlacement& p) override
    {
        calls.push_back("SetWindowPlacement " + std::to_string(p.left) + " " + std::to_string(p.bottom));
    }
    void GetPaneShares(std::int32_t& first, std::int32_t& second) const override
    {
        if (hasTwoPanes) {
            first = paneFirst;
            second = paneSecond;
        }
    }
    void SetPaneShares(std::int32_t first, std::int32_t second) override
    {
        calls.push_back("SetPaneShares " + std::to_string(first) + " " + std::to_string(second));
    }
    void GetTextFont(LogFont& f) const override { f = font; }
    void SetBold(bool bold) override { calls.push_back(std::string("SetBold ") + (bold ? "1" : "0")); }
    void SetNoteFont(const char* face) override { calls.push_back(std::string("SetNoteFont ") + face); }
    void UpdateTitle() override { calls.push_back("UpdateTitle"); }
    bool AskPassword(const std::string& prompt, std::string& password) override
    {
        calls.push_back("AskPassword " + prompt);
        if (passwords.empty())
            return false;
        password = passwords.front();
        passwords.pop_front();
        return true;
    }

    bool wordWrap = false;
    WindowPlacement placement{};
    bool hasTwoPanes = true;
    std::int32_t paneFirst = 0;
    std::int32_t paneSecond = 0;
    LogFont font{};
    std::deque<std::string> passwords; // answers; none left means Cancel
    std::vector<std::string> calls;
};
