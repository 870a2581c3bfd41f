#pragma once

#include <map>
#include <string>
#include <vector>

namespace Kol {
namespace Host {

// Runs a program to its end: no shell, the program by
// absolute path, extra environment variables (a password goes there, never on
// the command line, where every user can read it), standard output and error
// captured. While it runs, the calling thread's interruption flag is read
// every 50 ms; when set, the child is ended with SIGTERM.
//
// Runs on the calling thread, which must be a boost::thread for a forced
// stop to reach it. Throws std::runtime_error when the program cannot be
// started.
class CChildProcess {
public:
    struct Result {
        int exitStatus = -1;  // the exit code, or 128 + the signal that ended it
        bool interrupted = false;
        std::string out;
        std::string err;
    };

    static Result Run(const std::string& program, const std::vector<std::string>& arguments,
                      const std::map<std::string, std::string>& environment);

    CChildProcess() = delete;
};

}  // namespace Host
}  // namespace Kol
