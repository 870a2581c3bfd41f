#include "tests/stress/CCountingStaticObjectsMapper.h"

#include <thread>

#include <boost/pointer_cast.hpp>

#include "framework/security/CurrentUserContext.h"
#include "tests/stress/CStressUser.h"

namespace Kol {
namespace Testing {

void CCountingStaticObjectsMapper::Cleanup() {
    const Common::Security::CUserContextPtr context = Common::Security::GetCurrentUserContext();
    const boost::shared_ptr<CStressUser> user =
        context ? boost::dynamic_pointer_cast<CStressUser>(context->GetUser())
                : boost::shared_ptr<CStressUser>();
    if (!user) {
        m_ledger.NoteAnomaly("static objects mapper called outside a stress request");
        return;
    }
    m_ledger.EnterMapper(user->GetMessageNumber());
    // Widens the window in which a second handler of the same module would
    // be caught.
    std::this_thread::yield();
    m_ledger.LeaveMapper(user->GetMessageNumber());
}

}  // namespace Testing
}  // namespace Kol
