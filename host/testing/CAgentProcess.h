#pragma once

#include <sys/types.h>
#include <chrono>
#include <string>
#include <vector>

namespace Kol::Host::Testing {

// One run of the cleanup-agent program with its standard output and error
// captured through pipes. Every wait is bounded; a process still running when
// the object goes is killed.
class CAgentProcess {
public:
    // One output line "<time> <LEVEL> <module>: <text>", split.
    struct Record {
        std::string time;
        std::string level;
        std::string module;
        std::string text;
    };

    // Starts `program` (default: CLEANUP_AGENT_PATH, the test build) with
    // `arguments`, in `directory` (default: this process's). Throws
    // std::runtime_error.
    explicit CAgentProcess(const std::vector<std::string>& arguments, const char* program = nullptr,
                           const std::string& directory = "");
    ~CAgentProcess();

    CAgentProcess(const CAgentProcess&) = delete;
    CAgentProcess& operator=(const CAgentProcess&) = delete;

    // Reads output until a line of standard output or error contains `text`;
    // false when the program ends or `timeout` passes first.
    bool WaitForLine(const std::string& text, std::chrono::seconds timeout);
    void Signal(int signal);
    // Reads output until the program ends and returns its exit status (128 +
    // the signal when a signal ended it). Kills it and throws after `timeout`.
    int Wait(std::chrono::seconds timeout);

    const std::string& Out() const { return m_out; }
    const std::string& Err() const { return m_err; }
    // The standard output lines; throws when one does not have the format.
    std::vector<Record> Records() const;
    // "<LEVEL> <text>" of each line of `module`, in order.
    std::vector<std::string> Texts(const std::string& module) const;

    // Starts, waits (60 s at most) and returns the exit status.
    static int Run(const std::vector<std::string>& arguments, std::string* out = nullptr,
                   std::string* err = nullptr);

private:
    // Reads what is available within `timeout`; false when both pipes ended.
    bool Pump(std::chrono::milliseconds timeout);

    pid_t m_pid;
    int m_outFd;
    int m_errFd;
    std::string m_out;
    std::string m_err;
    bool m_exited;
    int m_status;
};

}  // namespace Kol::Host::Testing
