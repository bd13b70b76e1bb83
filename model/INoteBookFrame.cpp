#include "model/INoteBookFrame.h"

namespace {

INoteBookFrame* g_mainFrame = nullptr;

} // namespace

INoteBookFrame* GetAppMainFrame()
{
    return g_mainFrame;
}

void SetAppMainFrame(INoteBookFrame* frame)
{
    g_mainFrame = frame;
}
