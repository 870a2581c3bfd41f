#pragma once

#include "Cleanup/Common/CCleanupModuleBase.h"

namespace Kol {
namespace Cleanup {
namespace Agent {

// The concrete cleanup module that the plug-in publishes under the class name
// "Kol::Cleanup::Agent::CCleanupModule". Adds nothing to its base: a new
// object holds no resources and starts nothing until Initialize.
class CCleanupModule : public Common::CCleanupModuleBase {
public:
    // The module's name in the kernel, in its log lines and on its subscriber.
    static const char* const kName;  // "CCleanupModule"

    CCleanupModule();
    ~CCleanupModule() override;
};

}  // namespace Agent
}  // namespace Cleanup
}  // namespace Kol
