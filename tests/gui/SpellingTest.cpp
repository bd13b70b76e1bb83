#include "model/CNoteBook.h"
#include "platform/desktop/CSpellSettings.h"
#include "support/PaneFixture.h"
#include "views/CSpelling.h"

#include <QApplication>
#include <QClipboard>
#include <QFile>

#include <cstdlib>

// Spelling as you type in the note's text, its menu items and its context menu.
class SpellingTest : public PaneTest
{
protected:
    void SetUp() override
    {
        PaneTest::SetUp();
        if (!CSpelling::Instance().IsAvailable())
            GTEST_SKIP() << "no dictionary installed (scripts/deps installs hunspell-en-us)";
        CSpelling::Instance().SetOn(true);
        CSpelling::Instance().WaitUntilLoaded();
    }
    void TearDown() override
    {
        CSpelling::Instance().SetOn(true);
        PaneTest::TearDown();
    }

    void Open(const std::string& text)
    {
        OpenNotes({{"Tusday title", text}});
        Activate(0);
        QApplication::processEvents();
    }
    bool Misspelt(int pos)
    {
        int start = 0;
        int end = 0;
        return Text()->MisspeltWordAt(pos, start, end);
    }
    bool Choose(int pos, const QString& entry)
    {
        return ChooseFromContextMenu(Text()->viewport(), Text()->CharacterRect(pos).center(), entry);
    }
};

TEST_F(SpellingTest, MisspeltWordsAreFoundButNotDigitsAddressesOrPaths)
{
    Open("met on Tusday at jo@exmple.org in /usr/shre with abc123");
    EXPECT_FALSE(Misspelt(1));
    EXPECT_TRUE(Misspelt(9)) << "Tusday";
    EXPECT_FALSE(Misspelt(20)) << "an address";
    EXPECT_FALSE(Misspelt(40)) << "a path";
    EXPECT_FALSE(Misspelt(54)) << "a word with digits";

    // Turned off, nothing is marked; the choice is the user's, not the notebook's.
    frame->GetRouter().Run(ID_CHECK_SPELLING);
    EXPECT_FALSE(CSpelling::Instance().IsOn());
    EXPECT_FALSE(CSpellSettings::Read().m_bCheck);
    EXPECT_FALSE(Misspelt(9));
    EXPECT_FALSE(book->IsModified());
    frame->GetRouter().Run(ID_CHECK_SPELLING);
    EXPECT_TRUE(CSpellSettings::Read().m_bCheck);
    EXPECT_TRUE(Misspelt(9));
}

TEST_F(SpellingTest, ContextMenuSuggestsAddsAndIgnores)
{
    Open("on Tusday Zorblik met Quandrel");
    ASSERT_TRUE(Choose(5, "Tuesday"));
    EXPECT_EQ(Text()->toPlainText(), "on Tuesday Zorblik met Quandrel");
    EXPECT_TRUE(book->IsModified());

    ASSERT_TRUE(Misspelt(13));
    ASSERT_TRUE(Choose(13, "&Add to Dictionary"));
    EXPECT_FALSE(Misspelt(13));
    QFile list(QString::fromStdString(CSpellChecker::PersonalListPath()));
    ASSERT_TRUE(list.open(QIODevice::ReadOnly));
    EXPECT_TRUE(list.readAll().contains("Zorblik\n"));

    ASSERT_TRUE(Choose(25, "&Ignore All"));
    EXPECT_FALSE(Misspelt(25));

    // Away from a misspelt word the menu is the editing one.
    Text()->SetSelection(0, 2);
    ASSERT_TRUE(Choose(0, "&Copy"));
    EXPECT_EQ(QApplication::clipboard()->text(), "on");
}

TEST_F(SpellingTest, FormatMenuOffersTheToggleAndTheInstalledLanguages)
{
    QMenu* format = MenuOf(ID_CHECK_SPELLING);
    ASSERT_NE(format, nullptr);
    emit format->aboutToShow();
    EXPECT_TRUE(Action(ID_CHECK_SPELLING)->isChecked());
    QMenu* languages = format->actions().last()->menu();
    ASSERT_NE(languages, nullptr);
    EXPECT_EQ(languages->title(), "Spelling Lan&guage");
    emit languages->aboutToShow();
    QStringList codes;
    for (QAction* item : languages->actions()) {
        codes << item->data().toString();
        EXPECT_EQ(item->isChecked(), item->data().toString() == CSpelling::Instance().Language());
    }
    EXPECT_EQ(codes, CSpelling::Languages());
    // Each by its language's name, its code beside it, reachable by a key.
    const int english = static_cast<int>(codes.indexOf("en_US"));
    ASSERT_GE(english, 0);
    EXPECT_EQ(languages->actions().at(english)->text(),
              QStringLiteral("&%1 English (United States)\ten_US").arg(english + 1));
}

// In a process of its own, where the checker is made for the first time: the dictionary waits for
// the event loop, so a notebook opened at start-up does not share the cores with it, and then loads
// without being asked.
TEST(SpellingAtStartTest, TheDictionaryLoadsOnceTheProgramWaits)
{
    if (CSpelling::Languages().isEmpty())
        GTEST_SKIP() << "no dictionary installed (scripts/deps installs hunspell-en-us)";
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            CSpelling& spelling = CSpelling::Instance();
            spelling.WaitUntilLoaded();
            const bool markedBeforeTheLoop = spelling.IsMisspelt("Tusday");
            QApplication::processEvents();
            spelling.WaitUntilLoaded();
            std::_Exit(!markedBeforeTheLoop && spelling.IsMisspelt("Tusday") ? 0 : 1);
        },
        testing::ExitedWithCode(0), "");
}
