#include "framework/security/CurrentUserContext.h"

#include <utility>

#include <boost/make_shared.hpp>
#include <boost/thread/tss.hpp>

#include "framework/security/CSystemUser.h"

namespace Kol {
namespace Common {
namespace Security {

namespace {

// Built on first use so that no thread can reach it before it exists.
boost::thread_specific_ptr<CUserContextPtr>& Slot() {
    static boost::thread_specific_ptr<CUserContextPtr> slot;
    return slot;
}

}  // namespace

CUserContextPtr GetCurrentUserContext() {
    CUserContextPtr* current = Slot().get();
    return current ? *current : CUserContextPtr();
}

void EnsureCurrentUserContext() {
    CUserContextPtr* current = Slot().get();
    if (current && *current) {
        return;
    }
    SetCurrentUserContext(boost::make_shared<CUserContext>());
}

void SetCurrentUserContext(CUserContextPtr context) {
    // The processing thread calls this once per message: reuse the slot's
    // heap cell instead of allocating a new one each time.
    CUserContextPtr* current = Slot().get();
    if (current) {
        *current = std::move(context);
    } else {
        Slot().reset(new CUserContextPtr(std::move(context)));
    }
}

void EnsureSystemUserContext() {
    EnsureCurrentUserContext();
    const CUserContextPtr current = GetCurrentUserContext();
    if (current && current->GetUserUuid() == CSystemUser::kUuid) {
        return;
    }
    const IUserPtr user = boost::make_shared<CSystemUser>();
    SetCurrentUserContext(boost::make_shared<CUserContext>(user));
}

}  // namespace Security
}  // namespace Common
}  // namespace Kol
