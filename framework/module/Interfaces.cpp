// The out-of-line destructors of the interfaces in this folder, one file for
// all of them. A class whose first non-inline virtual function is defined in
// one translation unit has its virtual table and type information emitted
// there, once, inside this shared library, instead of as weak copies in every
// library that includes the header. The host and the plug-ins then share one
// type_info per interface, which dynamic_cast and catching exceptions across
// the plug-in boundary rely on. A new interface here adds its destructor below.

#include "framework/module/IFunctionCall.h"
#include "framework/module/IMessageProcessor.h"

namespace Kol {
namespace Common {
namespace Module {

IFunctionCall::~IFunctionCall() = default;
IMessageProcessor::~IMessageProcessor() = default;

}  // namespace Module
}  // namespace Common
}  // namespace Kol
