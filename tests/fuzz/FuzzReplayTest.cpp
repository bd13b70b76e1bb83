#include "fuzz/ImportFuzzTarget.h"
#include "fuzz/MergeFuzzTarget.h"
#include "fuzz/ReaderFuzzTarget.h"
#include "model/CNoteBook.h"
#include "support/PasswordAnswer.h"
#include "support/TempDir.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <ostream>

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

namespace {

// A fuzz target and the inputs kept for it in the sources: its seeds, and any input that once
// broke a promise.
struct FuzzCorpus
{
    const char* name;
    bool (*target)(const std::uint8_t*, std::size_t);
};

std::vector<std::string> CorpusInputs(const std::string& name)
{
    std::vector<std::filesystem::path> files;
    for (const auto& entry :
         std::filesystem::directory_iterator(std::string(PELMORA_FUZZ_CORPUS) + "/" + name))
        files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    std::vector<std::string> inputs;
    for (const auto& file : files) {
        std::ifstream in(file, std::ios::binary);
        inputs.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    return inputs;
}

void PrintTo(const FuzzCorpus& corpus, std::ostream* out)
{
    *out << corpus.name;
}

class FuzzCorpusReplay : public ::testing::TestWithParam<FuzzCorpus>
{
protected:
    bool Run(const std::string& input) const
    {
        return GetParam().target(reinterpret_cast<const std::uint8_t*>(input.data()), input.size());
    }
};

} // namespace

// Each kept input goes through its target's checks again, then damaged copies of it, so that the
// ordinary builds fuzz a little too. A broken promise aborts the run.
TEST_P(FuzzCorpusReplay, KeptInputsAndTheirDamageKeepThePromises)
{
    const std::vector<std::string> inputs = CorpusInputs(GetParam().name);
    ASSERT_GE(inputs.size(), 5u);
    std::mt19937 rng(20261210);
    std::size_t accepted = 0;
    std::size_t damagedAccepted = 0;
    for (const std::string& input : inputs) {
        accepted += Run(input);
        for (int round = 0; round < 20; ++round)
            damagedAccepted += Run(MutateNoteBook(input, rng));
    }
    // The seeds are well formed, so the checks beyond the first read are reached, and with damage too.
    EXPECT_GT(accepted, inputs.size() / 2);
    EXPECT_GT(damagedAccepted, 0u);
}

INSTANTIATE_TEST_SUITE_P(Targets, FuzzCorpusReplay,
                         ::testing::Values(FuzzCorpus{"reader", FuzzNoteBookReader},
                                           FuzzCorpus{"merge", FuzzNoteBookMerge},
                                           FuzzCorpus{"import", FuzzTextImport}),
                         [](const ::testing::TestParamInfo<FuzzCorpus>& info) {
                             return std::string(info.param.name);
                         });
