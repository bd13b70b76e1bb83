#pragma once

#include "model/ReadProgress.h"
#include "platform/LogFont.h"
#include "platform/WindowPlacement.h"

#include <cstdint>
#include <functional>
#include <string>

// What the notebook asks of the main window: the view settings that travel in the file, the
// caption refresh and the password prompt. The window program's main frame implements it.
class INoteBookFrame
{
public:
    virtual ~INoteBookFrame() = default;

    virtual bool GetWordWrap() const = 0;
    virtual void SetWordWrap(bool wrap) = 0;

    // The placement comes with its length field set to 44.
    virtual void GetWindowPlacement(WindowPlacement& placement) const = 0;
    virtual void SetWindowPlacement(const WindowPlacement& placement) = 0;

    // The split panel's two pane shares; both 0 when the panel does not have exactly two panes.
    virtual void GetPaneShares(std::int32_t& first, std::int32_t& second) const = 0;
    virtual void SetPaneShares(std::int32_t first, std::int32_t second) = 0;

    // The description of the current note text font.
    virtual void GetTextFont(LogFont& font) const = 0;
    virtual void SetBold(bool bold) = 0;
    virtual void SetNoteFont(const char* face) = 0;

    virtual void UpdateTitle() = 0;

    // Asks for a password with the length rule on; false when the user cancels.
    virtual bool AskPassword(const std::string& prompt, std::string& password) = 0;
    // Asks for the passphrase of an encrypted notebook, of any length; as the password where the
    // frame has no question of its own.
    virtual bool AskPassphrase(const std::string& prompt, std::string& passphrase)
    {
        return AskPassword(prompt, passphrase);
    }

    // Runs a read that can take longer than a frame: the window paints, shows the read's progress
    // and offers Cancel meanwhile, and the work's exceptions reach the caller. The work must only
    // touch what the window does not show yet. Without a window of its own it runs here.
    virtual void ReadAside(const std::function<void(const ReadProgress&)>& work);
};

// Through the frame's ReadAside; in place where there is no frame (the tool, a merge's reads).
void RunRead(INoteBookFrame* frame, const std::function<void(const ReadProgress&)>& work);

// The application's main window, or null when there is none (the tool, most tests).
INoteBookFrame* GetAppMainFrame();
void SetAppMainFrame(INoteBookFrame* frame);
