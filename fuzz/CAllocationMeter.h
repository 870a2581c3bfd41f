#pragma once

#include <cstddef>
#include <cstdint>

namespace Kol {
namespace Fuzz {

// Measures the heap use of the calling thread while it is alive: the peak of
// the bytes allocated and not yet freed since construction. Every heap
// allocation of the thread counts, whether it comes from our code, the
// standard library or protobuf (operator new and, under AddressSanitizer,
// malloc itself).
//
// Meters nest: each sees the whole traffic of its own lifetime. A meter
// belongs to the thread that made it. Frees of memory allocated before the
// meter started lower the current figure, never the peak.
class CAllocationMeter {
public:
    CAllocationMeter();
    ~CAllocationMeter();

    CAllocationMeter(const CAllocationMeter&) = delete;
    CAllocationMeter& operator=(const CAllocationMeter&) = delete;

    // The highest number of bytes held at once since construction.
    std::size_t GetPeakBytes() const;

    // False when this build cannot see allocations (then every figure is 0).
    static bool IsAvailable();

private:
    std::int64_t m_start;      // the thread's live bytes at construction
    std::int64_t m_outerPeak;  // the thread's peak when the meter started
};

}  // namespace Fuzz
}  // namespace Kol
