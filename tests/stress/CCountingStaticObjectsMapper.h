#pragma once

#include <boost/shared_ptr.hpp>

#include "contracts/database/ICleanupStaticObjectsMapper.h"
#include "tests/stress/CMessageLedger.h"

namespace Kol {
namespace Testing {

// The static-objects mapper of the stress test: books each call under the
// message being handled (the processing thread's current user) and checks
// that a module never runs two calls at once. Thread-safe.
class CCountingStaticObjectsMapper : public Common::Database::ICleanupStaticObjectsMapper {
public:
    // `ledger` must outlive the mapper's use by any module.
    explicit CCountingStaticObjectsMapper(CMessageLedger& ledger) : m_ledger(ledger) {}

    void Cleanup() override;

private:
    CMessageLedger& m_ledger;
};

typedef boost::shared_ptr<CCountingStaticObjectsMapper> CCountingStaticObjectsMapperPtr;

}  // namespace Testing
}  // namespace Kol
