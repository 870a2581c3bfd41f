#include "host/testing/CAgentProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <regex>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace Kol::Host::Testing {

CAgentProcess::CAgentProcess(const std::vector<std::string>& arguments, const char* program,
                             const std::string& directory)
    : m_pid(-1), m_outFd(-1), m_errFd(-1), m_exited(false), m_status(-1) {
    int out[2] = {-1, -1};
    int err[2] = {-1, -1};
    if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) {
        const int error = errno;
        ::close(out[0]);
        ::close(out[1]);
        throw std::runtime_error(std::string("pipe: ") + std::strerror(error));
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    if (!directory.empty()) {
        posix_spawn_file_actions_addchdir_np(&actions, directory.c_str());
    }
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigemptyset(&none);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGINT);
    sigaddset(&defaults, SIGTERM);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    const char* const path = program != nullptr ? program : CLEANUP_AGENT_PATH;
    // posix_spawn does not change the words; its signature predates const.
    std::vector<char*> argv = {const_cast<char*>(path)};
    for (const std::string& word : arguments) {
        argv.push_back(const_cast<char*>(word.c_str()));
    }
    argv.push_back(nullptr);
    const int error = posix_spawn(&m_pid, path, &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    ::close(out[1]);
    ::close(err[1]);
    m_outFd = out[0];
    m_errFd = err[0];
    if (error != 0) {
        ::close(m_outFd);
        ::close(m_errFd);
        throw std::runtime_error(std::string("posix_spawn: ") + std::strerror(error));
    }
}

CAgentProcess::~CAgentProcess() {
    if (!m_exited) {
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
    }
    for (const int fd : {m_outFd, m_errFd}) {
        if (fd >= 0) {
            ::close(fd);
        }
    }
}

bool CAgentProcess::Pump(std::chrono::milliseconds timeout) {
    pollfd fds[2] = {{m_outFd, POLLIN, 0}, {m_errFd, POLLIN, 0}};
    if (m_outFd < 0 && m_errFd < 0) {
        return false;
    }
    const int ready = ::poll(fds, 2, static_cast<int>(timeout.count()));
    if (ready <= 0) {
        return true;
    }
    int* descriptors[2] = {&m_outFd, &m_errFd};
    std::string* buffers[2] = {&m_out, &m_err};
    for (int i = 0; i < 2; ++i) {
        if (*descriptors[i] < 0 || fds[i].revents == 0) {
            continue;
        }
        char chunk[65536];
        const ssize_t got = ::read(*descriptors[i], chunk, sizeof chunk);
        if (got > 0) {
            buffers[i]->append(chunk, static_cast<std::size_t>(got));
        } else if (got == 0 || errno != EINTR) {
            ::close(*descriptors[i]);
            *descriptors[i] = -1;
        }
    }
    return m_outFd >= 0 || m_errFd >= 0;
}

bool CAgentProcess::WaitForLine(const std::string& text, std::chrono::seconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    const auto complete = [&text](const std::string& output) {
        const std::string::size_type found = output.find(text);
        return found != std::string::npos && output.find('\n', found) != std::string::npos;
    };
    for (;;) {
        if (complete(m_out) || complete(m_err)) {
            return true;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || !Pump(std::min(left, std::chrono::milliseconds(100)))) {
            return m_out.find(text) != std::string::npos || m_err.find(text) != std::string::npos;
        }
    }
}

void CAgentProcess::Signal(int signal) {
    ::kill(m_pid, signal);
}

int CAgentProcess::Wait(std::chrono::seconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (Pump(std::chrono::milliseconds(100))) {
        if (std::chrono::steady_clock::now() > deadline) {
            throw std::runtime_error("cleanup-agent did not end in time; output so far:\n" + m_out +
                                     m_err);
        }
    }
    int status = 0;
    while (::waitpid(m_pid, &status, WNOHANG) != m_pid) {
        if (std::chrono::steady_clock::now() > deadline) {
            throw std::runtime_error("cleanup-agent did not exit in time");
        }
        ::usleep(10000);
    }
    m_exited = true;
    m_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return m_status;
}

std::vector<std::string> CAgentProcess::Texts(const std::string& module) const {
    std::vector<std::string> texts;
    for (const Record& record : Records()) {
        if (record.module == module) {
            texts.push_back(record.level + " " + record.text);
        }
    }
    return texts;
}

std::vector<CAgentProcess::Record> CAgentProcess::Records() const {
    static const std::regex line(
        R"(^(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z) (DEBUG|INFO|WARNING|ERROR) ([A-Za-z]+): (.*)$)");
    std::vector<Record> records;
    std::istringstream lines(m_out);
    for (std::string text; std::getline(lines, text);) {
        std::smatch parts;
        if (!std::regex_match(text, parts, line)) {
            throw std::runtime_error("badly formed output line: " + text);
        }
        records.push_back(Record{parts[1], parts[2], parts[3], parts[4]});
    }
    return records;
}

int CAgentProcess::Run(const std::vector<std::string>& arguments, std::string* out,
                       std::string* err) {
    CAgentProcess process(arguments);
    const int status = process.Wait(std::chrono::seconds(60));
    if (out != nullptr) {
        *out = process.Out();
    }
    if (err != nullptr) {
        *err = process.Err();
    }
    return status;
}

}  // namespace Kol::Host::Testing
