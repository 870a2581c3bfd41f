// The out-of-line destructors of the interfaces in this folder, one file for
// all of them. A class whose first non-inline virtual function is defined in
// one translation unit has its virtual table and type information emitted
// there, once, inside this shared library, instead of as weak copies in every
// library that includes the header. The host and the plug-ins then share one
// type_info per interface, which dynamic_cast and catching exceptions across
// the plug-in boundary rely on. A new interface here adds its destructor below.

#include "contracts/kernel/IBusResource.h"
#include "contracts/kernel/IConfigurationResource.h"
#include "contracts/kernel/IDatabaseResource.h"
#include "contracts/kernel/IIdGeneratorResource.h"
#include "contracts/kernel/IInstallConfigurationResource.h"
#include "contracts/kernel/ILoggerResource.h"
#include "contracts/kernel/IMessage.h"
#include "contracts/kernel/IModule.h"
#include "contracts/kernel/IResource.h"
#include "contracts/kernel/IResourceProvider.h"
#include "contracts/kernel/IServerConfigurationResource.h"
#include "contracts/kernel/ISubscriber.h"

namespace Kol {
namespace Common {
namespace Kernel {

IBusResource::~IBusResource() = default;
IConfigurationResource::~IConfigurationResource() = default;
IDatabaseResource::~IDatabaseResource() = default;
IIdGeneratorResource::~IIdGeneratorResource() = default;
IInstallConfigurationResource::~IInstallConfigurationResource() = default;
ILoggerResource::~ILoggerResource() = default;
IMessage::~IMessage() = default;
IModule::~IModule() = default;
IResource::~IResource() = default;
IResourceProvider::~IResourceProvider() = default;
IServerConfigurationResource::~IServerConfigurationResource() = default;
ISubscriber::~ISubscriber() = default;

}  // namespace Kernel
}  // namespace Common
}  // namespace Kol
