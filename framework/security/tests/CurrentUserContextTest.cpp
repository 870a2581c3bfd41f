#include "framework/security/CurrentUserContext.h"

#include <gtest/gtest.h>
#include <boost/make_shared.hpp>
#include <boost/thread/thread.hpp>
#include <boost/weak_ptr.hpp>

#include "framework/security/CSystemUser.h"
#include "tests/kernel/CTestUser.h"

namespace Kol::Common::Security {
namespace {

using Testing::CTestUser;

// Runs `body` on a fresh thread (whose slot starts empty) and waits for it.
template <typename Body>
void OnFreshThread(Body body) {
    boost::thread thread(body);
    thread.join();
}

TEST(CUserContext, UserUuidIsEmptyWithoutUser) {
    EXPECT_EQ(CUserContext().GetUserUuid(), "");
    EXPECT_FALSE(CUserContext().GetUser());
    const IUserPtr user = boost::make_shared<CSystemUser>();
    CUserContext context(user);
    EXPECT_EQ(context.GetUser(), user);
    EXPECT_EQ(context.GetUserUuid(), "00000000-0000-0000-7002-000000000001");
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
