#pragma once

#include <string>

#include "host/health/CStoreReport.h"

namespace Kol {
namespace Host {

// Turns a store report into what the operator reads: aligned tables in at
// most 100 columns, sizes in readable units beside the exact bytes; or one
// JSON document (format 1, as host/README.md documents it). Pure functions;
// any thread.
class CStoreReportWriter {
public:
    static constexpr std::size_t kColumns = 100;

    static std::string Text(const CStoreReport::Figures& figures);
    static std::string Json(const CStoreReport::Figures& figures);

    CStoreReportWriter() = delete;
};

}  // namespace Host
}  // namespace Kol
