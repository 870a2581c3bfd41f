#pragma once

#include <string>

#include <boost/optional.hpp>

#include "host/report/CMetricsWriter.h"

namespace Kol {
namespace Host {

class CRunReport;

// The metrics file of --metrics-file, as the node exporter's textfile
// collector reads it: always whole, replaced in one rename, readable by
// everyone (0644) whatever the umask, since the exporter runs as another user.
// Any thread; one writer per file at a time.
class CMetricsFile {
public:
    // Writes CMetricsWriter's text of the run to `path`, the last success
    // before this run taken from the file's present version (unless the run
    // history gave it: run.historySuccess). Throws
    // std::runtime_error "cannot write the metrics file <path>: <reason>";
    // `path` is then as it was.
    static void Publish(const std::string& path, const CRunReport& report, CMetricsWriter::Run run);

    // The last success time in the file at `path`; none when it is absent,
    // not a regular file, unreadable or has none. Never throws but
    // std::bad_alloc.
    static boost::optional<double> ReadLastSuccess(const std::string& path);

    // Replaces `path` with `text`: a temporary file beside it (created
    // exclusively, so never through a symlink), written, flushed to disk,
    // renamed over `path`, then the folder flushed. No temporary stays on any
    // failure. Throws as Publish.
    static void Replace(const std::string& path, const std::string& text);

    CMetricsFile() = delete;
};

}  // namespace Host
}  // namespace Kol
