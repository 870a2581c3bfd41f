#include <stdexcept>

#include <gtest/gtest.h>

#include "contracts/logs/CLogDescriptorMap.h"
#include "contracts/message/CCleanupLogs.h"
#include "framework/logs/tests/TestSupport.h"

namespace Kol::Common::Logs {
namespace {

using DataDefinition::Logs::LogType;
using Message::Cleanup::CCleanupLogs;
using Test::ErrorText;

CCleanupLogs::Uuid MakeUuid(const char* text) {
    CCleanupLogs::Uuid uuid;
    uuid.set_uuid(text);
    return uuid;
}

TEST(CCleanupLogs, FilledFrozenThenRefusesWritesAndEqualsComparesUuidsAndOperations) {
    CCleanupLogs request;
    EXPECT_EQ(request.GetType(), 2);
    EXPECT_EQ(request.GetName(), "CleanupLogs");
    request.SetFirstRequestUuid(MakeUuid("00000000-0000-0000-0000-000000000001"));
    request.SetOperations({7, 3});
    request.AddOperation(3);
    request.SetReadOnly();
    EXPECT_TRUE(request.IsReadOnly());
    EXPECT_EQ(ErrorText<std::runtime_error>([&] { request.AddOperation(1); }),
              "Message is read only");
    EXPECT_THROW(request.SetSecondRequestUuid(MakeUuid("x")), std::runtime_error);
    EXPECT_EQ(request.GetOperations(), (std::vector<std::int32_t>{7, 3, 3}));
    EXPECT_EQ(request.GetFirstRequestUuid().uuid(), "00000000-0000-0000-0000-000000000001");
    EXPECT_FALSE(request.GetSecondRequestUuid().has_uuid());

    CCleanupLogs same;
    same.SetFirstRequestUuid(MakeUuid("00000000-0000-0000-0000-000000000001"));
    same.SetOperations({7, 3, 3});
    EXPECT_TRUE(request.Equals(same));
    same.SetThirdRequestUuid(MakeUuid("00000000-0000-0000-0000-000000000003"));
    EXPECT_FALSE(request.Equals(same));
}

// The status event's descriptor, its event and delta types and their log
// types: CEventLog (accepts both types under their names, validates each
// against its own log type) and the validator's texts.
TEST(CLogDescriptorMap, KnowsTheNineStatusSymbolsAndRefusesUnknownValues) {
    const CLogDescriptorMap& map = CLogDescriptorMap::Instance();
    // Their kinds and that each is required: the validator's tests.
    for (const std::int32_t id : {2834, 2836, 2838, 2842, 2844, 2846, 2848, 2850, 2853}) {
        EXPECT_TRUE(map.HasSymbol(id) &&
                    map.GetLogTypeBySymbol(id) == DataDefinition::Logs::CLEANUP_STATUS)
            << id;
    }
    EXPECT_FALSE(map.HasSymbol(1));
    EXPECT_EQ(ErrorText<std::out_of_range>([&] { map.GetLogTypeBySymbol(-7); }),
              "Unknown log symbol -7");
    // An unknown message type: CEventLog.EventAndDeltaTypes...
    EXPECT_THROW(map.GetLogDescriptor(LogType(99)), std::out_of_range);
}

// Elsewhere: the request type has other event and delta types (CEventLog
// refuses type 2); 2874 is a SOFTWARE_INVENTORY text of 10 bytes (validator
// and TextTruncation); operation names and the empty name of unknown values
// (the exact re-scheduling lines of CleanupEngine).

}  // namespace
}  // namespace Kol::Common::Logs
