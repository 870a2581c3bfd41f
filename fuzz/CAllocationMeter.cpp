#include "fuzz/CAllocationMeter.h"

#include <cstdlib>
#include <new>

#include <malloc.h>

#if defined(__SANITIZE_ADDRESS__)
#define CLEANUP_FUZZ_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define CLEANUP_FUZZ_ASAN 1
#endif
#endif

namespace {

// Per thread, so that other threads' traffic never enters a measurement.
// Plain integers: a hook must not allocate.
thread_local std::int64_t t_liveBytes = 0;
thread_local std::int64_t t_peakBytes = 0;

void CountAllocation(std::size_t size) {
    t_liveBytes += static_cast<std::int64_t>(size);
    if (t_liveBytes > t_peakBytes) {
        t_peakBytes = t_liveBytes;
    }
}

void CountFree(std::size_t size) {
    t_liveBytes -= static_cast<std::int64_t>(size);
}

}  // namespace

#ifdef CLEANUP_FUZZ_ASAN

// AddressSanitizer owns malloc and operator new; it reports every allocation
// and free of the process to hooks, including those made inside libraries.
extern "C" {
int __sanitizer_install_malloc_and_free_hooks(void (*mallocHook)(const volatile void*, size_t),
                                              void (*freeHook)(const volatile void*));
size_t __sanitizer_get_allocated_size(const volatile void* pointer);
}

namespace {

void OnMalloc(const volatile void*, size_t size) {
    CountAllocation(size);
}

// Runs before the block is released, so its size can still be asked.
void OnFree(const volatile void* pointer) {
    if (pointer != nullptr) {
        CountFree(__sanitizer_get_allocated_size(pointer));
    }
}

bool InstallHooks() {
    return __sanitizer_install_malloc_and_free_hooks(&OnMalloc, &OnFree) != 0;
}

bool HooksInstalled() {
    static const bool installed = InstallHooks();
    return installed;
}

}  // namespace

#else

// Without a sanitizer the global operator new and delete are replaced: they
// count the usable size of each block on both sides, so that the figures
// balance whatever size the caller passed to a sized delete.
namespace {

void* CountedAllocate(std::size_t size) {
    void* const pointer = std::malloc(size == 0 ? 1 : size);
    if (pointer != nullptr) {
        CountAllocation(malloc_usable_size(pointer));
    }
    return pointer;
}

void CountedFree(void* pointer) noexcept {
    if (pointer != nullptr) {
        CountFree(malloc_usable_size(pointer));
        std::free(pointer);
    }
}

bool HooksInstalled() {
    return true;
}

}  // namespace

void* operator new(std::size_t size) {
    void* const pointer = CountedAllocate(size);
    if (pointer == nullptr) {
        throw std::bad_alloc();
    }
    return pointer;
}

void* operator new[](std::size_t size) {
    return operator new(size);
}

void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return CountedAllocate(size);
}

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return CountedAllocate(size);
}

void operator delete(void* pointer) noexcept {
    CountedFree(pointer);
}

void operator delete[](void* pointer) noexcept {
    CountedFree(pointer);
}

void operator delete(void* pointer, std::size_t) noexcept {
    CountedFree(pointer);
}

void operator delete[](void* pointer, std::size_t) noexcept {
    CountedFree(pointer);
}

void operator delete(void* pointer, const std::nothrow_t&) noexcept {
    CountedFree(pointer);
}

void operator delete[](void* pointer, const std::nothrow_t&) noexcept {
    CountedFree(pointer);
}

#endif

namespace Kol {
namespace Fuzz {

CAllocationMeter::CAllocationMeter() : m_start(t_liveBytes), m_outerPeak(t_peakBytes) {
    HooksInstalled();
    t_peakBytes = t_liveBytes;
}

CAllocationMeter::~CAllocationMeter() {
    if (m_outerPeak > t_peakBytes) {
        t_peakBytes = m_outerPeak;
    }
}

std::size_t CAllocationMeter::GetPeakBytes() const {
    const std::int64_t peak = t_peakBytes - m_start;
    return peak > 0 ? static_cast<std::size_t>(peak) : 0;
}

bool CAllocationMeter::IsAvailable() {
    return HooksInstalled();
}

}  // namespace Fuzz
}  // namespace Kol
