#pragma once

namespace Kol {
namespace Host {

// The exit statuses of cleanup-agent: a part of the command line's contract,
// so they live beside it.
enum ExitStatus : int {
    kExitSucceeded = 0,
    kExitFailed = 1,
    kExitUsage = 2,
    kExitUnusable = 3,
    kExitSignalBase = 128,  // plus the signal's number after a forced stop
};

// What each status means, as --help prints it (a "\n" continues the text on
// the next line, indented); the one place they are written down.
struct ExitStatusMeaning {
    const char* status;
    const char* meaning;
};
inline constexpr ExitStatusMeaning kExitStatusMeanings[] = {
    {"0", "every requested operation succeeded (or nothing to do)"},
    {"1", "at least one operation or the request failed"},
    {"2", "usage error: a bad option, value or configuration file"},
    {"3",
     "the plug-in or the store cannot be used, or another run cleans the\n"
     "store; the store is unchanged"},
    {"128+N", "stopped by signal N: 129 SIGHUP, 130 SIGINT, 143 SIGTERM"},
};

}  // namespace Host
}  // namespace Kol
