#pragma once

#include <vector>

#include "host/cli/CCommandLine.h"

namespace Kol {
namespace Host {

// The options that only the test build of the program (cleanup-agent-test)
// has: fault injection through CWriteFaultVfs. Neither they nor the VFS are
// compiled into the product.
class CTestBuildOptions {
public:
    static std::vector<CCommandLine::Option> Options();

    CTestBuildOptions() = delete;
};

}  // namespace Host
}  // namespace Kol
