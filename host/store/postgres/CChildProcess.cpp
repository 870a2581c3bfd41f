#include "host/store/postgres/CChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <stdexcept>

#include <boost/thread/thread.hpp>

extern char** environ;

namespace Kol {
namespace Host {

namespace {

const int kPollMilliseconds = 50;

// Moves what is ready on `fd` into `text`; false at its end.
bool Drain(int fd, std::string& text) {
    char buffer[4096];
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got > 0) {
        text.append(buffer, static_cast<std::size_t>(got));
        return true;
    }
    return got < 0 && errno == EINTR;
}

}  // namespace

CChildProcess::Result CChildProcess::Run(const std::string& program,
                                         const std::vector<std::string>& arguments,
                                         const std::map<std::string, std::string>& environment) {
    std::vector<std::string> variables;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string variable = *entry;
        if (environment.count(variable.substr(0, variable.find('='))) == 0) {
            variables.push_back(variable);
        }
    }
    for (const auto& variable : environment) {
        variables.push_back(variable.first + "=" + variable.second);
    }
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (std::string& variable : variables) {
        envp.push_back(&variable[0]);
    }
    envp.push_back(nullptr);

    int out[2];
    int err[2];
    if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) {
        throw std::runtime_error(std::string("cannot make a pipe: ") + std::strerror(errno));
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    pid_t child = 0;
    const int spawned =
        ::posix_spawn(&child, program.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    ::close(err[1]);
    Result result;
    if (spawned != 0) {
        ::close(out[0]);
        ::close(err[0]);
        throw std::runtime_error("cannot run " + program + ": " + std::strerror(spawned));
    }
    pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    bool open[2] = {true, true};
    while (open[0] || open[1]) {
        if (!result.interrupted && boost::this_thread::interruption_requested()) {
            result.interrupted = true;
            ::kill(child, SIGTERM);
        }
        fds[0].fd = open[0] ? out[0] : -1;
        fds[1].fd = open[1] ? err[0] : -1;
        if (::poll(fds, 2, kPollMilliseconds) <= 0) {
            continue;
        }
        for (int i = 0; i < 2; ++i) {
            if (open[i] && (fds[i].revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
                open[i] = Drain(fds[i].fd, i == 0 ? result.out : result.err);
            }
        }
    }
    ::close(out[0]);
    ::close(err[0]);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result;
}

}  // namespace Host
}  // namespace Kol
