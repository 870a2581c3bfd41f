#include "contracts/message/CCleanupLogs.h"

#include <stdexcept>

#include <gtest/gtest.h>

namespace Kol::Common::Message::Cleanup {
namespace {

CCleanupLogs::Uuid MakeUuid(const char* text) {
    CCleanupLogs::Uuid uuid;
    uuid.set_uuid(text);
    return uuid;
}

TEST(CCleanupLogs, FilledFrozenThenRefusesWrites) {
    CCleanupLogs request;
    EXPECT_EQ(request.GetType(), 2);
    EXPECT_EQ(request.GetName(), "CleanupLogs");
    request.SetFirstRequestUuid(MakeUuid("00000000-0000-0000-0000-000000000001"));
    request.SetOperations({7, 3});
    request.AddOperation(3);
    request.SetReadOnly();
    EXPECT_TRUE(request.IsReadOnly());
    try {
        request.AddOperation(1);
        FAIL();
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Message is read only");
    }
    EXPECT_THROW(request.SetSecondRequestUuid(MakeUuid("x")), std::runtime_error);
    EXPECT_EQ(request.GetOperations(), (std::vector<std::int32_t>{7, 3, 3}));
    EXPECT_EQ(request.GetFirstRequestUuid().uuid(), "00000000-0000-0000-0000-000000000001");
    EXPECT_FALSE(request.GetSecondRequestUuid().has_uuid());
}

TEST(CCleanupLogs, EqualsComparesUuidsAndOperations) {
    CCleanupLogs a;
    CCleanupLogs b;
    a.SetOperations({1, 2});
    b.SetOperations({1, 2});
    EXPECT_TRUE(a.Equals(b));
    b.SetThirdRequestUuid(MakeUuid("00000000-0000-0000-0000-000000000003"));
    EXPECT_FALSE(a.Equals(b));
}

}  // namespace
}  // namespace Kol::Common::Message::Cleanup
