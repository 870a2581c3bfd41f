#pragma once

#include <cstdint>
#include <string>

#include <boost/optional.hpp>

namespace Kol {
namespace Host {

class CRunReport;

// Reads the cleanup module's log lines for what they tell about the request
// and passes each fact on to the report: operation N initiating, operation
// NAME failed with an error, the request failed, the module stopped, the
// request is over. The module's texts are matched here and nowhere else; a
// line that tells nothing (a Finished line, a missing mapper, any other
// text) is passed over.
//
// Holds no state of its own: call it on whichever thread the module logs on;
// the report takes care of its own locking.
class CModuleLineReader {
public:
    // What one line of the module tells about the request.
    struct Fact {
        enum class Kind {
            kNothing,          // nothing about the request
            kInitiating,       // `operation` begins
            kOperationFailed,  // the operation the module calls `name` failed: `error`
            kRequestFailed,    // the request as a whole failed
            kStopped,          // the module stopped: nothing more runs
            kRequestOver,      // the request is over: what was not reached ran silently
        };
        Kind kind = Kind::kNothing;
        std::int32_t operation = 0;
        std::string name;  // the catalog's enumeration name, empty outside 1 to 24
        std::string error;
    };

    // `report` must outlive the reader.
    explicit CModuleLineReader(CRunReport& report);

    // What `text`, logged at `level`, tells. A failure line counts only at
    // the error level: the module logs a missing mapper there too, but counts
    // that operation as succeeded. Throws only std::bad_alloc.
    static Fact Parse(const std::string& text, std::int32_t level);

    // Reads one line of the module and passes its fact on to the report.
    // Returns the number of an operation that just failed because the module
    // does not handle it, for the caller to say so. Throws only
    // std::bad_alloc.
    boost::optional<std::int32_t> Read(const std::string& text, std::int32_t level);

private:
    CRunReport& m_report;
};

}  // namespace Host
}  // namespace Kol
