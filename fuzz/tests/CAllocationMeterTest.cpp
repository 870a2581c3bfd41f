#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "fuzz/CAllocationMeter.h"

namespace Kol::Fuzz {
namespace {

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
