#pragma once

namespace Kol {
namespace Host {

// The exit statuses of cleanup-agent, as --help documents them.
enum ExitStatus : int {
    kExitSucceeded = 0,     // every requested operation succeeded, or nothing to do
    kExitFailed = 1,        // at least one operation or the request failed
    kExitUsage = 2,         // the command line or the configuration file is wrong
    kExitUnusable = 3,      // the plug-in or the store cannot be used; nothing was changed
    kExitSignalBase = 128,  // plus the signal's number after a forced stop (130, 143)
};

}  // namespace Host
}  // namespace Kol
