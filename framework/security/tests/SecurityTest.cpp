#include <stdexcept>

#include <gtest/gtest.h>
#include <boost/make_shared.hpp>
#include <boost/thread/thread.hpp>
#include <boost/weak_ptr.hpp>

#include "framework/logs/tests/TestSupport.h"
#include "framework/security/CSystemUser.h"
#include "framework/security/CurrentUserContext.h"
#include "tests/kernel/CTestUser.h"

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

TEST(CSystemUser, IdentityAndRightsInGrantOrderAlsoAsJson) {
    const IUserPtr user = boost::make_shared<CSystemUser>();
    EXPECT_EQ(user->GetName(), "system-user");
    EXPECT_EQ(user->GetUuid(), "00000000-0000-0000-7002-000000000001");
    EXPECT_TRUE(user->IsSystem());
    EXPECT_FALSE(user->HasAccessRightsMatrix());

    // Each right with the access types 0, 1 and 2 in turn.
    IUser::AccessRights rights;
    std::string json;
    for (const std::string& uuid : kRights) {
        for (std::int32_t type = 0; type < 3; ++type) {
            rights.push_back(CAccessRight{uuid, type, "00000000-0000-0000-7001-000000000001"});
            json += (json.empty() ? "{ \"uuid\" : \"" : ", { \"uuid\" : \"") + uuid +
                    "\", \"accessType\" : " + std::to_string(type) + " }";
        }
    }
    EXPECT_EQ(user->GetAccessRights(), rights);
    // No scope UUID, nothing escaped.
    EXPECT_EQ(user->ToJson(),
              "{ \"name\" : \"system-user\", \"uuid\" : \"00000000-0000-0000-7002-000000000001\", "
              "\"accessRights\" : [ " +
                  json + " ] }");
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

using Testing::CTestUser;

// Runs `body` on a fresh thread (whose slot starts empty) and waits for it.
template <typename Body>
void OnFreshThread(Body body) {
    boost::thread thread(body);
    thread.join();
}

TEST(CurrentUserContext, EnsureGivesAnEmptyContextOnceAndSetReplacesIt) {
    OnFreshThread([] {
        EXPECT_FALSE(GetCurrentUserContext());
        EnsureCurrentUserContext();
        const CUserContextPtr first = GetCurrentUserContext();
        ASSERT_TRUE(first);
        EXPECT_FALSE(first->GetUser());
        EnsureCurrentUserContext();
        EXPECT_EQ(GetCurrentUserContext(), first);

        // The replaced context is released by the slot.
        boost::weak_ptr<CUserContext> weakFirst = first;
        const CUserContextPtr other = boost::make_shared<CUserContext>();
        const_cast<CUserContextPtr&>(first).reset();
        SetCurrentUserContext(other);
        EXPECT_EQ(GetCurrentUserContext(), other);
        EXPECT_TRUE(weakFirst.expired());

        // An empty handle leaves the thread without a context until ensured.
        SetCurrentUserContext(CUserContextPtr());
        EXPECT_FALSE(GetCurrentUserContext());
        EnsureCurrentUserContext();
        EXPECT_TRUE(GetCurrentUserContext());
        EXPECT_NE(GetCurrentUserContext(), other);
    });
}

TEST(CurrentUserContext, SlotsArePerThread) {
    const CUserContextPtr mine = boost::make_shared<CUserContext>();
    OnFreshThread([&] {
        SetCurrentUserContext(mine);
        CUserContextPtr seenByOther;
        OnFreshThread([&] { seenByOther = GetCurrentUserContext(); });
        EXPECT_FALSE(seenByOther);
        EXPECT_EQ(GetCurrentUserContext(), mine);
    });
    // The ended thread released its copy.
    EXPECT_EQ(mine.use_count(), 1);
}

TEST(CurrentUserContext, EnsureSystemUserKeepsOrReplacesTheContext) {
    OnFreshThread([] {
        EnsureSystemUserContext();
        const CUserContextPtr system = GetCurrentUserContext();
        ASSERT_TRUE(system);
        EXPECT_EQ(system->GetUserUuid(), "00000000-0000-0000-7002-000000000001");
        ASSERT_TRUE(system->GetUser());
        EXPECT_TRUE(system->GetUser()->IsSystem());
        EnsureSystemUserContext();
        EXPECT_EQ(GetCurrentUserContext(), system);
    });

    // No context, a context without user, another user, and the system UUID
    // in other spellings (it has no letters, so no letter-case variant).
    std::vector<CUserContextPtr> contexts = {CUserContextPtr(), boost::make_shared<CUserContext>()};
    for (const char* uuid :
         {"00000000-0000-0000-7002-000000000002", "{00000000-0000-0000-7002-000000000001}",
          "00000000000000007002000000000001", "00000000-0000-0000-7002-000000000001 "}) {
        contexts.push_back(boost::make_shared<CUserContext>(boost::make_shared<CTestUser>(uuid)));
    }
    for (CUserContextPtr& context : contexts) {
        SCOPED_TRACE(context ? context->GetUserUuid() : "no context");
        OnFreshThread([&] {
            SetCurrentUserContext(context);
            EnsureSystemUserContext();
            const CUserContextPtr now = GetCurrentUserContext();
            ASSERT_TRUE(now);
            EXPECT_NE(now, context);
            EXPECT_EQ(now->GetUserUuid(), "00000000-0000-0000-7002-000000000001");
        });
        // The replaced context lives on with its other holders.
        if (context) {
            EXPECT_EQ(context.use_count(), 1);
        }
    }

    // Another object that is the system user by UUID is kept as it is.
    const CUserContextPtr lookalike = boost::make_shared<CUserContext>(
        boost::make_shared<CTestUser>("00000000-0000-0000-7002-000000000001"));
    OnFreshThread([&] {
        SetCurrentUserContext(lookalike);
        EnsureSystemUserContext();
        EXPECT_EQ(GetCurrentUserContext(), lookalike);
    });
}

}  // namespace
}  // namespace Kol::Common::Security
