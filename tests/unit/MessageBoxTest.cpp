#include "platform/MessageBox.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

TEST(MessageBox, DefaultButtonIsTheAnswerWithoutUser)
{
    EXPECT_EQ(DefaultMessageBoxAnswer(MB_ICONEXCLAMATION), IDOK);
    EXPECT_EQ(DefaultMessageBoxAnswer(MB_YESNOCANCEL | MB_ICONQUESTION | MB_DEFBUTTON3), IDCANCEL);
    EXPECT_EQ(DefaultMessageBoxAnswer(MB_YESNOCANCEL), IDYES);
    EXPECT_EQ(DefaultMessageBoxAnswer(MB_YESNO | MB_DEFBUTTON2), IDNO);
}

TEST(MessageBox, HandlerSeesTextAndStyleAndGivesTheAnswer)
{
    MessageBoxRecorder recorder;
    recorder.answers.push_back(IDNO);
    EXPECT_EQ(AfxMessageBox("Do you wish to save your changes?", MB_YESNOCANCEL | MB_ICONQUESTION), IDNO);
    EXPECT_EQ(AfxMessageBox("ERROR: Could not read file.", 48), IDOK);
    ASSERT_EQ(recorder.boxes.size(), 2u);
    EXPECT_EQ(recorder.boxes[0].text, "Do you wish to save your changes?");
    EXPECT_EQ(recorder.boxes[1].style, 48u);
}

TEST(MessageBox, RecordersNestAndRestore)
{
    MessageBoxRecorder outer;
    {
        MessageBoxRecorder inner;
        AfxMessageBox("inner");
        EXPECT_EQ(inner.boxes.size(), 1u);
    }
    AfxMessageBox("outer");
    ASSERT_EQ(outer.boxes.size(), 1u);
    EXPECT_EQ(outer.boxes[0].text, "outer");
}
