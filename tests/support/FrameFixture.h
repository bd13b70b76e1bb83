#pragma once

#include "app/CMainFrame.h"
#include "app/CPassphraseDlg.h"
#include "app/CPasswordDlg.h"
#include "model/CNoteBook.h"
#include "platform/qt/CFileDialog.h"
#include "platform/qt/CPrintDlg.h"
#include "platform/qt/DisplayScale.h"
#include "support/TestSupport.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

// The passphrase the window tests lock notebooks with.
inline const QString kPassphrase = "a long way to Tipperary";

// A real main frame, shown offscreen, with every modal prompt answered by the test.
class FrameTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        g_scaleX = g_scaleY = 1.0;
        CFileDialog::ClearQueuedAnswers();
        CPasswordDlg::ClearQueuedAnswers();
        CPassphraseDlg::ClearQueuedAnswers();
        CPrintDlg::ClearQueuedAnswers();
        frame = std::make_unique<CMainFrame>();
        ASSERT_TRUE(frame->Create());
        frame->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(frame.get()));
    }

    void TearDown() override
    {
        // Nothing to save: a test that left changes must not block on a prompt.
        if (frame->GetNoteBook())
            frame->GetNoteBook()->SetModifiedFlag(false);
        frame.reset();
        EXPECT_FALSE(CFileDialog::HasQueuedAnswers()) << "a queued file name was never asked for";
        EXPECT_FALSE(CPrintDlg::HasQueuedAnswers()) << "a queued print answer was never asked for";
    }

    QAction* Action(int id) { return frame->GetRouter().Action(id); }
    bool Enabled(int id) { return frame->GetRouter().Query(id).m_enabled; }

    // Opens the menu bar menu that holds the command, the way its items get their state.
    QMenu* MenuOf(int id)
    {
        for (QAction* top : frame->menuBar()->actions())
            if (QMenu* menu = top->menu(); menu && menu->actions().contains(Action(id)))
                return menu;
        return nullptr;
    }

    MessageBoxRecorder boxes;
    std::unique_ptr<CMainFrame> frame;
};
