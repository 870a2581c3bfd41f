#pragma once

#include "framework/security/CUserContext.h"

// Each thread's current user context: the user on whose behalf the thread
// works right now. Senders hand it to the bus with every message; the message
// processing thread adopts the context each message arrived with. Every
// function touches only the calling thread's own slot, so none needs a lock.

namespace Kol {
namespace Common {
namespace Security {

// A copy of the calling thread's current context; empty if it has none.
CUserContextPtr GetCurrentUserContext();

// Gives the calling thread an empty context (no user) unless it already has
// one. Throws std::bad_alloc; the slot then keeps what it held.
void EnsureCurrentUserContext();

// Replaces the calling thread's current context (an empty handle is allowed).
// The previous context is released here; other holders keep it alive.
void SetCurrentUserContext(CUserContextPtr context);

// Makes the system user the calling thread's user unless the current context
// already belongs to it (UUID compared byte for byte). Throws std::bad_alloc;
// the slot then keeps what it held.
void EnsureSystemUserContext();

}  // namespace Security
}  // namespace Common
}  // namespace Kol
