#include "app/CPasswordDlg.h"
#include "platform/MessageBox.h"
#include "support/TestSupport.h"

#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

namespace {

// Runs the real dialog and acts on it once it is shown.
int AskWith(CPasswordDlg& dialog, const QString& prompt, std::function<void(CPasswordDlg&)> act)
{
    QTimer::singleShot(0, &dialog, [&dialog, act] { act(dialog); });
    return dialog.Ask(prompt, true);
}

void TypeAndPressEnter(CPasswordDlg& dialog, const QString& text)
{
    dialog.Edit()->clear();
    QTest::keyClicks(dialog.Edit(), text);
    QTest::keyClick(dialog.Edit(), Qt::Key_Return);
}

} // namespace

TEST(PasswordDlg, LengthRuleKeepsTheDialogOpen)
{
    MessageBoxRecorder boxes;
    CPasswordDlg dialog;
    const int result = AskWith(dialog, "Enter NoteBook password:", [](CPasswordDlg& d) {
        EXPECT_EQ(d.Prompt()->text(), "Enter NoteBook password:");
        EXPECT_EQ(d.Edit()->echoMode(), QLineEdit::Password);
        TypeAndPressEnter(d, "");
        TypeAndPressEnter(d, "abc");
        EXPECT_TRUE(d.isVisible());
        EXPECT_EQ(d.Edit()->text(), "abc") << "the text stays for correction";
        TypeAndPressEnter(d, "abcd");
    });
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(dialog.m_password, "abcd");
    ASSERT_EQ(boxes.boxes.size(), 2u);
    EXPECT_EQ(boxes.boxes[0].text, "Password must be between 4 and 50 characters in length.");
    EXPECT_EQ(boxes.boxes[0].caption, "Password Format Incorrect");
    EXPECT_EQ(boxes.boxes[0].style, unsigned(MB_ICONINFORMATION));
}

TEST(PasswordDlg, TypingStopsAtFiftyAndFiftyIsAccepted)
{
    MessageBoxRecorder boxes;
    CPasswordDlg dialog;
    const int result = AskWith(dialog, "p", [](CPasswordDlg& d) { TypeAndPressEnter(d, QString(60, 'x')); });
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(dialog.m_password, QString(50, 'x'));
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST(PasswordDlg, PrefilledPasswordComesBackUnchanged)
{
    CPasswordDlg dialog;
    dialog.m_password = "p\u00E4ssword";
    const int result = AskWith(dialog, "Enter new password for NoteBook:", [](CPasswordDlg& d) {
        EXPECT_EQ(d.Edit()->text(), "p\u00E4ssword");
        QTest::keyClick(d.Edit(), Qt::Key_Return);
    });
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(dialog.m_password, "p\u00E4ssword");
}

TEST(PasswordDlg, LongPrefilledPasswordMustBeShortenedFirst)
{
    MessageBoxRecorder boxes;
    CPasswordDlg dialog;
    dialog.m_password = QString(55, 'y');
    const int result = AskWith(dialog, "p", [&boxes](CPasswordDlg& d) {
        EXPECT_EQ(d.Edit()->text().size(), 55) << "shown whole";
        QTest::keyClick(d.Edit(), Qt::Key_Return);
        EXPECT_EQ(boxes.boxes.size(), 1u);
        d.Edit()->end(false);
        for (int i = 0; i < 5; ++i)
            QTest::keyClick(d.Edit(), Qt::Key_Backspace);
        QTest::keyClicks(d.Edit(), "zz");
        EXPECT_EQ(d.Edit()->text().size(), 50) << "no growing back past the limit";
        QTest::keyClick(d.Edit(), Qt::Key_Return);
    });
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(dialog.m_password, QString(50, 'y'));
}

TEST(PasswordDlg, CancelAndEscapeGiveCancel)
{
    CPasswordDlg dialog;
    EXPECT_EQ(AskWith(dialog, "p", [](CPasswordDlg& d) { QTest::keyClick(d.Edit(), Qt::Key_Escape); }),
              IDCANCEL);
    CPasswordDlg::SetNextAnswer(IDOK, "queued");
    EXPECT_EQ(dialog.Ask("p", true), IDOK);
    EXPECT_EQ(dialog.m_password, "queued");
}
