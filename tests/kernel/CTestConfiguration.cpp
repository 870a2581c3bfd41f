#include "tests/kernel/CTestConfiguration.h"

namespace Kol {
namespace Testing {

CTestConfiguration::CTestConfiguration() = default;

CTestConfiguration::~CTestConfiguration() = default;

}  // namespace Testing
}  // namespace Kol
