#include "framework/security/CSystemUser.h"

#include <stdexcept>

#include <gtest/gtest.h>
#include <boost/make_shared.hpp>

namespace Kol {
namespace Common {
namespace Security {
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
    EXPECT_EQ(user->GetName().size(), 11u);
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
    EXPECT_EQ(rights.front().uuid, "00000000-0000-0000-7004-000000000001");
    EXPECT_EQ(rights.back(), (CAccessRight{"00000000-0000-0000-7004-000000000031", 2,
                                           "00000000-0000-0000-7001-000000000001"}));
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
    std::vector<std::string> first{"a", "b"};
    std::vector<std::string> second{"c"};
    std::vector<std::int32_t> values{1, 2, 3};

    const IUser::AccessRights rights = user.GetAccessRightsMatrix(false, first, second, values);
    EXPECT_EQ(rights, user.GetAccessRights());
    EXPECT_TRUE(first.empty());
    EXPECT_TRUE(second.empty());
    EXPECT_TRUE(values.empty());

    first = {"x"};
    second = {"y"};
    values = {7};
    try {
        user.GetAccessRightsMatrix(true, first, second, values);
        FAIL() << "a required matrix must be refused";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Access rights matrix is not available for system user");
    }
    EXPECT_TRUE(first.empty());
    EXPECT_TRUE(second.empty());
    EXPECT_TRUE(values.empty());
}

}  // namespace
}  // namespace Security
}  // namespace Common
}  // namespace Kol
