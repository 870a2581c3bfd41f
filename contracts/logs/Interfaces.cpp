// The out-of-line destructors of the interfaces in this folder, one file for
// all of them. A class whose first non-inline virtual function is defined in
// one translation unit has its virtual table and type information emitted
// there, once, inside this shared library, instead of as weak copies in every
// library that includes the header. The host and the plug-ins then share one
// type_info per interface, which dynamic_cast and catching exceptions across
// the plug-in boundary rely on. A new interface here adds its destructor below.

#include "contracts/logs/ILockable.h"
#include "contracts/logs/IProtobufGetter.h"
#include "contracts/logs/ISerializable.h"
#include "contracts/logs/ISymbolContainer.h"

namespace Kol {
namespace Common {
namespace Logs {

ILockable::~ILockable() = default;
IProtobufGetter::~IProtobufGetter() = default;
ISerializable::~ISerializable() = default;
ISymbolContainer::~ISymbolContainer() = default;

}  // namespace Logs
}  // namespace Common
}  // namespace Kol
