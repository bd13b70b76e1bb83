#include "support/ScopedEnv.h"
#include "support/TempDir.h"
#include "text/CSpellChecker.h"
#include "text/SpellWords.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

namespace {

// The words the checker is shown, as UTF-8 text.
std::vector<std::u16string> Words(const std::u16string& text)
{
    std::vector<std::u16string> words;
    for (const SpellWord& word : WordsToCheck(text))
        words.push_back(text.substr(word.start, word.length));
    return words;
}

} // namespace

TEST(SpellWords, WordsOfALanguageOnly)
{
    using W = std::vector<std::u16string>;
    EXPECT_EQ(Words(u"Tuesday, we're (meeting)!"), (W{u"Tuesday", u"we're", u"meeting"}));
    EXPECT_EQ(Words(u"abc123 3rd 42 x_y v2 plain"), W{u"plain"}) << "digits and underscores";
    EXPECT_EQ(Words(u"mail jo@example.org or https://exmple.org/a?b=c now"), (W{u"mail", u"or", u"now"}));
    EXPECT_EQ(Words(u"see www.exmple.com and exmple.org."), (W{u"see", u"and"})) << "host names";
    EXPECT_EQ(Words(u"open /usr/shre/dict ~/notes C:\\Tmp\\fle.txt end."), (W{u"open", u"end"})) << "paths";
    // Marks and pairs of surrogates belong to their word; right-to-left words are words.
    EXPECT_EQ(Words(u"cafe\u0301 \U0001F600 \u05E9\u05DC\u05D5\u05DD"),
              (W{u"cafe\u0301", u"\u05E9\u05DC\u05D5\u05DD"}));
    EXPECT_EQ(Words(u"it\u2019s 'quoted'"), (W{u"it\u2019s", u"quoted"}));
}

class SpellCheckerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        env.Set("XDG_DATA_HOME", home.Path().string());
        if (!checker.Load("en_US"))
            GTEST_SKIP() << "hunspell-en-us is not installed (scripts/deps installs it)";
    }

    TempDir home;
    ScopedEnv env;
    CSpellChecker checker;
};

TEST_F(SpellCheckerTest, FlagsMisspeltWordsAndSuggestsAtMostFive)
{
    EXPECT_TRUE(checker.IsCorrect("Tuesday"));
    EXPECT_FALSE(checker.IsCorrect("Tu\xC3\xA9sday")) << "a word beyond ASCII";
    EXPECT_FALSE(checker.IsCorrect("Tusday"));
    const std::vector<std::string> suggestions = checker.Suggest("Tusday");
    ASSERT_FALSE(suggestions.empty());
    EXPECT_LE(suggestions.size(), 5u);
    EXPECT_EQ(suggestions.front(), "Tuesday");
    EXPECT_EQ(checker.Language(), "en_US");
}

TEST_F(SpellCheckerTest, PersonalListIsKeptAndIgnoreAllLastsTheRun)
{
    ASSERT_FALSE(checker.IsCorrect("Pelmora"));
    ASSERT_TRUE(checker.AddToPersonal("Pelmora"));
    EXPECT_TRUE(checker.IsCorrect("Pelmora"));
    std::ifstream list(home.File("pelmora/dictionary.txt"));
    std::string line;
    ASSERT_TRUE(std::getline(list, line));
    EXPECT_EQ(line, "Pelmora");

    checker.IgnoreAll("Orlathwick");
    EXPECT_TRUE(checker.IsCorrect("Orlathwick"));

    // The next run knows the list, not what was ignored.
    CSpellChecker next;
    ASSERT_TRUE(next.Load("en_US"));
    EXPECT_TRUE(next.IsCorrect("Pelmora"));
    EXPECT_FALSE(next.IsCorrect("Orlathwick"));
}

TEST(SpellCheckerDictionaries, InstalledLanguagesNeedBothFiles)
{
    TempDir folder;
    for (const char* name : {"de_DE.dic", "de_DE.aff", "fr_FR.dic", "en_GB.aff"})
        std::ofstream(folder.File(name)) << "\n";
    EXPECT_EQ(CSpellChecker::InstalledLanguages(folder.Path().string()), std::vector<std::string>{"de_DE"});
    CSpellChecker checker;
    EXPECT_FALSE(checker.Load("fr_FR", folder.Path().string()));
    EXPECT_FALSE(checker.IsLoaded());
    EXPECT_TRUE(checker.IsCorrect("anything")) << "no dictionary, nothing flagged";
}
