#include "fuzz/ReaderFuzzTarget.h"
#include "model/CNoteBook.h"
#include "support/PasswordAnswer.h"
#include "support/TempDir.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <fstream>

// The fuzz target's checks on mutated notebooks, with any compiler: a short, repeatable run of what
// the libFuzzer target does at length.
TEST(ReaderFuzzReplay, SeedsOpen)
{
    TempDir dir;
    MessageBoxRecorder boxes;
    PasswordAnswer answer(kFuzzPassword);
    for (const std::string& seed : ReaderSeeds()) {
        std::ofstream(dir.File("seed.pelm"), std::ios::binary) << seed;
        CNoteBook book;
        EXPECT_TRUE(book.ReadFile(dir.File("seed.pelm")));
    }
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST(ReaderFuzzReplay, MutatedNotebooksKeepTheReadersPromises)
{
    std::mt19937 rng(20261208);
    std::size_t opened = 0;
    std::size_t refused = 0;
    for (const std::string& seed : ReaderSeeds()) {
        std::string bytes = seed;
        for (int round = 0; round < 100; ++round) {
            // Mostly fresh damage to the seed, sometimes damage on damage.
            bytes = MutateNoteBook(round % 4 == 3 ? bytes : seed, rng);
            if (FuzzNoteBookReader(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()))
                ++opened;
            else
                ++refused;
        }
    }
    // Both roads are taken: damage the reader tolerates, and damage it refuses.
    EXPECT_GT(opened, 50u);
    EXPECT_GT(refused, 50u);
}
