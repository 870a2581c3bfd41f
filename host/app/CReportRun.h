#pragma once

#include <ostream>

#include "host/cli/CHostOptions.h"

namespace Kol {
namespace Host {

// --report: opens the store to read only (no lock, no file beside it, a
// read-only session), takes its report (CStoreReport) and prints it as text
// or, with --output json, as one JSON document on `out`. Failures go to
// `err`. Called once, on the main thread.
class CReportRun {
public:
    CReportRun(const CHostOptions& options, std::ostream& out, std::ostream& err);

    // Returns the exit status: 0 the report was printed, 3 the store could
    // not be opened or used (absent, not a store, a bad setting), 1 reading
    // it failed. Never throws.
    int Run();

private:
    const CHostOptions& m_options;
    std::ostream& m_out;
    std::ostream& m_err;
};

}  // namespace Host
}  // namespace Kol
