#pragma once

#include <boost/function.hpp>
#include <boost/shared_ptr.hpp>

#include "framework/module/IFunctionCall.h"

namespace Kol {
namespace Common {
namespace Module {

// Holds what a typed handler needs: the module (not owned; it must outlive
// the call, which the module guarantees by owning its processors) and the
// function that takes the typed request.
template <typename Module, typename Request>
class CProcedureCallBase : public IFunctionCall {
public:
    typedef boost::shared_ptr<Request> RequestPtr;
    typedef boost::function<void(const RequestPtr&)> Function;

    CProcedureCallBase(Module* module, Function function)
        : m_module(module), m_function(std::move(function)) {}

    CProcedureCallBase(const CProcedureCallBase&) = delete;
    CProcedureCallBase& operator=(const CProcedureCallBase&) = delete;

protected:
    Module* const m_module;
    const Function m_function;
};

}  // namespace Module
}  // namespace Common
}  // namespace Kol
