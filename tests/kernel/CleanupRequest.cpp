#include "tests/kernel/CleanupRequest.h"

#include <boost/make_shared.hpp>

namespace Kol {
namespace Testing {

const char* const kRequestUuid1 = "11111111-1111-4111-8111-111111111111";
const char* const kRequestUuid2 = "22222222-2222-4222-8222-222222222222";
const char* const kRequestUuid3 = "33333333-3333-4333-8333-333333333333";

Common::Message::Cleanup::CCleanupLogsPtr MakeCleanupRequest(
    const std::vector<std::int32_t>& operations) {
    typedef Common::Message::Cleanup::CCleanupLogs CCleanupLogs;
    const boost::shared_ptr<CCleanupLogs> request = boost::make_shared<CCleanupLogs>();
    CCleanupLogs::Uuid uuid;
    uuid.set_uuid(kRequestUuid1);
    request->SetFirstRequestUuid(uuid);
    uuid.set_uuid(kRequestUuid2);
    request->SetSecondRequestUuid(uuid);
    uuid.set_uuid(kRequestUuid3);
    request->SetThirdRequestUuid(uuid);
    request->SetOperations(operations);
    request->SetReadOnly();
    return request;
}

}  // namespace Testing
}  // namespace Kol
