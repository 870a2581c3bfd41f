#include "framework/security/CSystemUser.h"

#include <stdexcept>

#include <gtest/gtest.h>
#include <boost/make_shared.hpp>

#include "framework/logs/tests/TestSupport.h"

namespace Kol::Common::Security {
namespace {

// The 18 rights as the system user grants them, written out independently.
const std::vector<std::string> kRights = {
    "00000000-0000-0000-7004-000000000001", "00000000-0000-0000-7004-000000000002",
    "00000000-0000-0000-7004-000000000003", "00000000-0000-0000-7004-000000000008",
    "00000000-0000-0000-7004-000000000009", "00000000-0000-0000-7004-000000000010",
    "00000000-0000-0000-7004-000000000011", "00000000-0000-0000-7004-000000000012",
    "00000000-0000-0000-7004-000000000020", "00000000-0000-0000-7004-000000000014",
    "00000000-0000-0000-7004-000000000036", "00000000-0000-0000-7004-000000000017",
    "00000000-0000-0000-7004-000000000037", "00000000-0000-0000-7004-000000000018",
    "00000000-0000-0000-7004-000000000038", "00000000-0000-0000-7004-000000000019",
    "00000000-0000-0000-7004-000000000034", "00000000-0000-0000-7004-000000000031",
};

TEST(CSystemUser, IdentityAndRightsInGrantOrder) {
    const IUserPtr user = boost::make_shared<CSystemUser>();
    EXPECT_EQ(user->GetName(), "system-user");
    EXPECT_EQ(user->GetUuid(), "00000000-0000-0000-7002-000000000001");
    EXPECT_TRUE(user->IsSystem());
    EXPECT_FALSE(user->HasAccessRightsMatrix());

    const IUser::AccessRights rights = user->GetAccessRights();
    ASSERT_EQ(rights.size(), 54u);
    for (std::size_t i = 0; i < rights.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(rights[i], (CAccessRight{kRights[i / 3], static_cast<std::int32_t>(i % 3),
                                           "00000000-0000-0000-7001-000000000001"}));
    }
}

TEST(CSystemUser, ToJsonDescribesEveryRightWithoutScope) {
    std::string expected =
        "{ \"name\" : \"system-user\", \"uuid\" : \"00000000-0000-0000-7002-000000000001\", "
        "\"accessRights\" : [ ";
    for (std::size_t i = 0; i < kRights.size(); ++i) {
        for (int type = 0; type < 3; ++type) {
            if (i != 0 || type != 0) {
                expected += ", ";
            }
            expected += "{ \"uuid\" : \"" + kRights[i] +
                        "\", \"accessType\" : " + std::to_string(type) + " }";
        }
    }
    expected += " ] }";
    const std::string json = CSystemUser().ToJson();
    EXPECT_EQ(json, expected);
    EXPECT_EQ(json.find("7001"), std::string::npos);
    EXPECT_EQ(json.find('\\'), std::string::npos);
}

TEST(CSystemUser, AccessRightsMatrixEmptiesOutputsEitherWay) {
    const CSystemUser user;
    for (const bool required : {false, true}) {
        SCOPED_TRACE(required);
        std::vector<std::string> first{"a", "b"}, second{"c"};
        std::vector<std::int32_t> values{1, 2, 3};
        IUser::AccessRights rights;
        EXPECT_EQ(
            Logs::Test::ErrorText<std::runtime_error>(
                [&] { rights = user.GetAccessRightsMatrix(required, first, second, values); }),
            required ? "Access rights matrix is not available for system user" : "<no exception>");
        EXPECT_EQ(rights, required ? IUser::AccessRights() : user.GetAccessRights());
        EXPECT_TRUE(first.empty() && second.empty() && values.empty());
    }
}

}  // namespace
}  // namespace Kol::Common::Security
