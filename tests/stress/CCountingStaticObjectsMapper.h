#pragma once

#include <thread>

#include "contracts/database/ICleanupStaticObjectsMapper.h"
#include "tests/stress/CMessageLedger.h"
#include "tests/stress/CStressUser.h"

namespace Kol {
namespace Testing {

// The static-objects mapper of the stress test: books each call under the
// message being handled and lets the ledger check that a module never runs
// two calls at once. Thread-safe; the ledger must outlive its use.
class CCountingStaticObjectsMapper : public Common::Database::ICleanupStaticObjectsMapper {
public:
    explicit CCountingStaticObjectsMapper(CMessageLedger& ledger) : m_ledger(ledger) {}

    void Cleanup() override {
        const std::int64_t message = CStressUser::Current();
        if (message < 0) {
            m_ledger.NoteAnomaly("static objects mapper called outside a stress request");
            return;
        }
        m_ledger.EnterMapper(static_cast<std::uint32_t>(message));
        // Widens the window in which a second handler of the same module
        // would be caught.
        std::this_thread::yield();
        m_ledger.LeaveMapper(static_cast<std::uint32_t>(message));
    }

private:
    CMessageLedger& m_ledger;
};

}  // namespace Testing
}  // namespace Kol
