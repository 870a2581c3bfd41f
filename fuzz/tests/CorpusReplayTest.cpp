#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "fuzz/CAllocationMeter.h"
#include "fuzz/FuzzChecks.h"
#include "fuzz/SeedCorpus.h"

namespace Kol::Fuzz {
namespace {

const std::filesystem::path kCorpus(CLEANUP_FUZZ_CORPUS_DIR);

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string Check(CheckFunction check, const std::string& bytes) {
    return check(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

// Every committed input, seeds and past findings alike, goes through the
// same check as under the fuzzer.
TEST(FuzzCorpus, EveryFileOfEveryTargetPassesItsCheck) {
    ASSERT_EQ(GetFuzzTargets().size(), 5u);
    for (const FuzzTarget& target : GetFuzzTargets()) {
        const std::filesystem::path folder = kCorpus / target.name;
        ASSERT_TRUE(std::filesystem::is_directory(folder)) << folder;
        std::size_t files = 0;
        for (const auto& entry : std::filesystem::directory_iterator(folder)) {
            if (entry.is_regular_file()) {
                ++files;
                EXPECT_EQ(Check(target.check, ReadFile(entry.path())), "") << entry.path();
            }
        }
        EXPECT_GE(files, 4u) << folder;
    }
}

// The seeds are what the serialisers write today; a change of a serialised
// form shows here first (regenerate with fuzz_seed_corpus fuzz/corpus).
TEST(FuzzCorpus, HoldsTheSeedsTheSerialisersWriteToday) {
    const std::vector<Seed> seeds = MakeSeedCorpus();
    ASSERT_GE(seeds.size(), 30u);
    for (const Seed& seed : seeds) {
        const std::filesystem::path file = kCorpus / seed.target / seed.name;
        ASSERT_TRUE(std::filesystem::is_regular_file(file)) << file;
        EXPECT_EQ(ReadFile(file), seed.bytes) << file;
    }
}

// The documented binary form of the example container, byte for byte, and
// the edges both container readers must take: no input, one byte, a forged
// count, a negative count.
TEST(FuzzCorpus, ContainerChecksAcceptTheDocumentedFormAndEdges) {
    const std::string example(
        "\x02\x00\x00\x00"
        "\x02\x00\x00\x00\x09\x00\x00\x00"
        "\x01\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00"
        "\x07\x00\x00\x00\x01",
        29);
    EXPECT_EQ(ReadFile(kCorpus / "deserialize_binary" / "seed-int-and-bool"), example);
    const std::string forgedCount("\xff\xff\xff\x7f\x01\x00\x00\x00", 8);
    const std::string negativeCount("\xff\xff\xff\xff", 4);
    for (const CheckFunction check : {&CheckDeserializeBinary, &CheckDeserialize}) {
        for (const std::string& input :
             {std::string(), std::string(1, '\x01'), forgedCount, negativeCount, example}) {
            EXPECT_EQ(Check(check, input), "") << input.size() << " bytes";
        }
    }
}

const std::size_t kMiB = 1 << 20;
// Allocator rounding and bookkeeping on top of the requested sizes.
const std::size_t kSlack = 64 * 1024;

TEST(AllocationMeter, MeasuresThePeakOfTheCallingThreadAndNests) {
    ASSERT_TRUE(CAllocationMeter::IsAvailable());
    CAllocationMeter outer;
    {
        std::vector<char> first(1 * kMiB);
        CAllocationMeter inner;
        EXPECT_LT(inner.GetPeakBytes(), kSlack);
        { std::vector<char> second(2 * kMiB); }
        // Freeing what was there before the inner meter never lowers a peak.
        first.clear();
        first.shrink_to_fit();
        std::vector<char> third(kMiB / 2);
        EXPECT_GE(inner.GetPeakBytes(), 2 * kMiB);
        EXPECT_LT(inner.GetPeakBytes(), 2 * kMiB + kSlack);
    }
    // first and second were held at once; the inner meter kept the outer peak.
    EXPECT_GE(outer.GetPeakBytes(), 3 * kMiB);
    EXPECT_LT(outer.GetPeakBytes(), 3 * kMiB + kSlack);

    CAllocationMeter quiet;
    std::thread other([] { std::vector<char> elsewhere(4 * kMiB); });
    other.join();
    EXPECT_LT(quiet.GetPeakBytes(), kSlack);
}

}  // namespace
}  // namespace Kol::Fuzz
