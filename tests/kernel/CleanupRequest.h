#pragma once

#include <cstdint>
#include <vector>

#include <boost/make_shared.hpp>

#include "contracts/message/CCleanupLogs.h"

namespace Kol::Testing {

// The three request UUIDs every test request carries, in field order.
constexpr const char* kRequestUuids[] = {"11111111-1111-4111-8111-111111111111",
                                         "22222222-2222-4222-8222-222222222222",
                                         "33333333-3333-4333-8333-333333333333"};

// A frozen cleanup request with the three test UUIDs and `operations`.
inline Common::Message::Cleanup::CCleanupLogsPtr MakeCleanupRequest(
    const std::vector<std::int32_t>& operations = {}) {
    typedef Common::Message::Cleanup::CCleanupLogs CCleanupLogs;
    const boost::shared_ptr<CCleanupLogs> request = boost::make_shared<CCleanupLogs>();
    CCleanupLogs::Uuid uuid;
    uuid.set_uuid(kRequestUuids[0]);
    request->SetFirstRequestUuid(uuid);
    uuid.set_uuid(kRequestUuids[1]);
    request->SetSecondRequestUuid(uuid);
    uuid.set_uuid(kRequestUuids[2]);
    request->SetThirdRequestUuid(uuid);
    request->SetOperations(operations);
    request->SetReadOnly();
    return request;
}

}  // namespace Kol::Testing
