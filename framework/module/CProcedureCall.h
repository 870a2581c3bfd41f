#pragma once

#include <exception>
#include <stdexcept>

#include <boost/pointer_cast.hpp>

#include "contracts/kernel/IMessage.h"
#include "framework/module/CProcedureCallBase.h"

namespace Kol {
namespace Common {
namespace Module {

// A handler for messages of class `Request`: checks the class and calls a
// member of `Module` with the message. `Module` offers LogError(text), which
// receives the what() text of anything the member throws.
template <typename Module, typename Request>
class CProcedureCall : public CProcedureCallBase<Module, Request> {
public:
    typedef CProcedureCallBase<Module, Request> Base;
    typedef void (Module::*Handler)(const Kernel::IMessagePtr&);

    // Calls `handler` on `module`, which must outlive this object.
    CProcedureCall(Module* module, Handler handler)
        : Base(module, [module, handler](const typename Base::RequestPtr& request) {
              (module->*handler)(request);
          }) {}

    // Calls `function` (which may be empty: Invoke then throws
    // boost::bad_function_call).
    CProcedureCall(Module* module, typename Base::Function function)
        : Base(module, std::move(function)) {}

    // Throws std::runtime_error "Bad mapping of request type and message type"
    // when `message` is not a `Request`. A std::exception of the handler is
    // logged with the module's LogError and goes no further; anything else
    // (a thread interruption, for instance) passes through.
    void Call(const Kernel::IMessagePtr& message) override {
        const typename Base::RequestPtr request = boost::dynamic_pointer_cast<Request>(message);
        if (!request) {
            throw std::runtime_error("Bad mapping of request type and message type");
        }
        try {
            Invoke(request);
        } catch (const std::exception& e) {
            this->m_module->LogError(e.what());
        }
    }

    virtual void Invoke(const typename Base::RequestPtr& request) { this->m_function(request); }
};

}  // namespace Module
}  // namespace Common
}  // namespace Kol
