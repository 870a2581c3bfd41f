#pragma once

#include "tests/kernel/CCleanupAdapter.h"
#include "tests/kernel/CRecordingMapper.h"

namespace Kol {
namespace Testing {

// A recording mapper with exactly one interface whose only operation is
// Cleanup(): the static-objects mapper (id 22), or a mapper that lacks the
// interface an operation asks for. Calls are recorded as `callName`.
template <typename Interface>
class CRecordingSimpleMapper : public CRecordingMapper, public CCleanupAdapter<Interface> {
public:
    CRecordingSimpleMapper(const CMapperCallLogPtr& log, const char* callName)
        : CRecordingMapper(log), CCleanupAdapter<Interface>(callName) {}

private:
    void PerformCleanup(const std::string& callName) override { Perform(callName); }
};

}  // namespace Testing
}  // namespace Kol
