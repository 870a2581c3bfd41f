#include "framework/security/CurrentUserContext.h"

#include <gtest/gtest.h>
#include <boost/make_shared.hpp>
#include <boost/thread/thread.hpp>
#include <boost/weak_ptr.hpp>

#include "framework/security/CSystemUser.h"

namespace Kol {
namespace Common {
namespace Security {
namespace {

// A user that is not the system user but may carry any UUID text.
class CNamedUser : public IUser {
public:
    explicit CNamedUser(std::string uuid) : m_uuid(std::move(uuid)) {}
    std::string GetName() const override { return "someone"; }
    std::string GetUuid() const override { return m_uuid; }
    bool IsSystem() const override { return false; }
    AccessRights GetAccessRights() const override { return {}; }
    AccessRights GetAccessRightsMatrix(bool, std::vector<std::string>&, std::vector<std::string>&,
                                       std::vector<std::int32_t>&) const override {
        return {};
    }
    bool HasAccessRightsMatrix() const override { return false; }
    std::string ToJson() const override { return "{}"; }

private:
    std::string m_uuid;
};

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

    struct Case {
        const char* label;
        CUserContextPtr context;
    };
    const Case cases[] = {
        {"no context", CUserContextPtr()},
        {"context without user", boost::make_shared<CUserContext>()},
        {"another user", boost::make_shared<CUserContext>(boost::make_shared<CNamedUser>(
                             "00000000-0000-0000-7002-000000000002"))},
        // The system UUID has no letters, so a letter-case variant cannot be
        // built from it; these are the same UUID in other spellings.
        {"system UUID in braces", boost::make_shared<CUserContext>(boost::make_shared<CNamedUser>(
                                      "{00000000-0000-0000-7002-000000000001}"))},
        {"system UUID without dashes",
         boost::make_shared<CUserContext>(
             boost::make_shared<CNamedUser>("00000000000000007002000000000001"))},
        {"system UUID with a trailing blank",
         boost::make_shared<CUserContext>(
             boost::make_shared<CNamedUser>("00000000-0000-0000-7002-000000000001 "))},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        OnFreshThread([&] {
            SetCurrentUserContext(c.context);
            EnsureSystemUserContext();
            const CUserContextPtr now = GetCurrentUserContext();
            ASSERT_TRUE(now);
            EXPECT_NE(now, c.context);
            EXPECT_EQ(now->GetUserUuid(), "00000000-0000-0000-7002-000000000001");
        });
        // The replaced context lives on with its other holders.
        if (c.context) {
            EXPECT_EQ(c.context.use_count(), 1);
        }
    }

    // Another object that is the system user by UUID is kept as it is.
    const CUserContextPtr lookalike = boost::make_shared<CUserContext>(
        boost::make_shared<CNamedUser>("00000000-0000-0000-7002-000000000001"));
    OnFreshThread([&] {
        SetCurrentUserContext(lookalike);
        EnsureSystemUserContext();
        EXPECT_EQ(GetCurrentUserContext(), lookalike);
    });
}

}  // namespace
}  // namespace Security
}  // namespace Common
}  // namespace Kol
