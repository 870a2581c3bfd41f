#pragma once

#include <string>

#include <boost/shared_ptr.hpp>
#include <boost/thread/mutex.hpp>

#include "framework/security/IUser.h"

namespace Kol {
namespace Common {
namespace Security {

// Binds a user to a piece of work. A context travels beside each bus message
// and may be read by several threads at once; the user is read under m_mutex.
class CUserContext {
public:
    // A context without a user.
    CUserContext();
    explicit CUserContext(const IUserPtr& user);
    ~CUserContext();

    CUserContext(const CUserContext&) = delete;
    CUserContext& operator=(const CUserContext&) = delete;

    // The user, or an empty handle. Any thread.
    IUserPtr GetUser() const;

    // The user's UUID text, or "" when there is no user. Passes on what the
    // user's GetUuid throws. Any thread.
    std::string GetUserUuid() const;

private:
    mutable boost::mutex m_mutex;
    const IUserPtr m_user;  // guarded by m_mutex
    // Carried for other agent kinds; empty in every context this system makes.
    const boost::shared_ptr<void> m_session;
    const std::string m_sessionText;
};

typedef boost::shared_ptr<CUserContext> CUserContextPtr;

}  // namespace Security
}  // namespace Common
}  // namespace Kol
