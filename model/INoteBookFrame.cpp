#include "model/INoteBookFrame.h"

namespace {

INoteBookFrame* g_mainFrame = nullptr;

} // namespace

void INoteBookFrame::RunAside(const std::string&, const std::function<void(const ReadProgress&)>& work)
{
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
