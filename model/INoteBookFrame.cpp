#include "model/INoteBookFrame.h"

namespace {

INoteBookFrame* g_mainFrame = nullptr;

} // namespace

void INoteBookFrame::ReadAside(const std::function<void(const ReadProgress&)>& work)
{
    work({});
}

void RunRead(INoteBookFrame* frame, const std::function<void(const ReadProgress&)>& work)
{
    if (frame)
        frame->ReadAside(work);
    else
        work({});
}

INoteBookFrame* GetAppMainFrame()
{
    return g_mainFrame;
}

void SetAppMainFrame(INoteBookFrame* frame)
{
    g_mainFrame = frame;
}
