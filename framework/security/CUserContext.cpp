#include "framework/security/CUserContext.h"

#include <boost/thread/lock_guard.hpp>

namespace Kol {
namespace Common {
namespace Security {

CUserContext::CUserContext() = default;

CUserContext::CUserContext(const IUserPtr& user) : m_user(user) {}

CUserContext::~CUserContext() = default;

IUserPtr CUserContext::GetUser() const {
    boost::lock_guard<boost::mutex> lock(m_mutex);
    return m_user;
}

std::string CUserContext::GetUserUuid() const {
    boost::lock_guard<boost::mutex> lock(m_mutex);
    return m_user ? m_user->GetUuid() : std::string();
}

}  // namespace Security
}  // namespace Common
}  // namespace Kol
