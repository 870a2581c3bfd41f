#pragma once

#include <boost/shared_ptr.hpp>

#include "contracts/kernel/IConfigurationResource.h"

namespace Kol {
namespace Testing {

// The configuration of an agent that is not a server: no retention periods.
class CTestConfiguration : public Common::Kernel::IConfigurationResource {
public:
    CTestConfiguration();
    ~CTestConfiguration() override;
};

typedef boost::shared_ptr<CTestConfiguration> CTestConfigurationPtr;

}  // namespace Testing
}  // namespace Kol
