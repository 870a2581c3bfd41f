#pragma once

#include <cstdint>
#include <ctime>
#include <mutex>
#include <ostream>
#include <string>

#include <boost/function.hpp>
#include <boost/shared_ptr.hpp>

#include "contracts/kernel/ILoggerResource.h"

namespace Kol {
namespace Host {

// The host's logger resource: writes every record at or above the threshold
// as one line "<UTC time, ISO 8601 with Z> <LEVEL> <module>: <text>" and
// flushes it at once, LEVEL being DEBUG, INFO, WARNING or ERROR. Control
// characters in the module name and text are escaped (see Escape), so that
// text from outside (paths, SQLite messages, settings) can never end a line
// early or forge another record. Every record
// handed in, whatever its level, also goes to the observer.
//
// When the stream is the systemd journal (see IsJournal), each line is
// "<N><LEVEL> <module>: <text>" instead: the sd-daemon priority prefix
// (<7> debug, <6> info, <4> warning, <3> error), which journald strips and
// keeps as the entry's priority, and no time, since the journal stamps every
// entry itself.
//
// Thread-safe: lines of several threads never mix.
class CHostLogger : public Common::Kernel::ILoggerResource {
public:
    typedef boost::function<void(const std::string& text, std::int32_t level,
                                 const std::string& moduleName)>
        Observer;

    // `out` must outlive the logger. The observer is called on the logging
    // thread after the line is written and must not throw.
    // Writes the journal's form of each line when IsJournal(out).
    CHostLogger(std::ostream& out, std::int32_t threshold, const Observer& observer = Observer());

    CHostLogger(const CHostLogger&) = delete;
    CHostLogger& operator=(const CHostLogger&) = delete;

    void SetLogLevel(std::int32_t level) override;
    // Never throws: a line that cannot be written is dropped.
    void Log(const std::string& text, std::int32_t level, const std::string& moduleName) override;
    void Flush() override;
    std::int32_t GetLogLevel() const override;

    // "DEBUG", "INFO", "WARNING", "ERROR", or "LEVEL<n>" for any other number.
    static std::string LevelName(std::int32_t level);
    // `text` with its control characters written out: "\n", "\r", "\t",
    // "\x1b" for the other bytes below 0x20 and for 0x7f, "\u0085" for the
    // C1 controls U+0080 to U+009F, "\xff" for each byte that is not part
    // of valid UTF-8; everything else unchanged.
    static std::string Escape(const std::string& text);
    // True when `stream` is std::cout or std::cerr and its file descriptor is
    // the journal stream that systemd names in $JOURNAL_STREAM ("<device>:
    // <inode>" of the stream it connected); false for any other stream.
    static bool IsJournal(const std::ostream& stream);
    // The sd-daemon priority prefix of a host level: "<7>" for DEBUG, "<6>"
    // for INFO and any other level, "<4>" for WARNING, "<3>" for ERROR.
    static std::string JournalPrefix(std::int32_t level);
    // "<3>" when `stream` is the journal, else "": for the program's own
    // one-line error messages, written outside the logger.
    static std::string ErrorPrefix(const std::ostream& stream);

private:
    mutable std::mutex m_mutex;
    std::ostream& m_out;       // guarded by m_mutex
    std::int32_t m_threshold;  // guarded by m_mutex
    const Observer m_observer;
    const bool m_journal;
};

}  // namespace Host
}  // namespace Kol
