// cleanup-agent: loads the cleanup plug-in and cleans an agent store.
//
// Built twice: as the product, and with CLEANUP_AGENT_TEST_BUILD as
// cleanup-agent-test, which adds the fault-injection options and reads its
// default configuration file from $CLEANUP_AGENT_TEST_CONFIG instead of /etc.

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/app/CHostApplication.h"
#include "host/app/CReportRun.h"
#include "host/app/CSignalWatcher.h"
#include "host/cli/CCommandLine.h"
#include "host/cli/CPluginFolder.h"
#include "host/cli/ExitStatus.h"
#include "host/kernel/CHostLogger.h"
#include "host/kernel/CTrustedPath.h"
#ifdef CLEANUP_AGENT_TEST_BUILD
#include "host/testing/CTestBuildOptions.h"
#endif

namespace {

Kol::Host::CCommandLine::Setup ProgramSetup() {
    Kol::Host::CCommandLine::Setup setup;
    setup.defaultModule = Kol::Host::CPluginFolder::DefaultModule();
#ifdef CLEANUP_AGENT_TEST_BUILD
    const char* config = std::getenv("CLEANUP_AGENT_TEST_CONFIG");
    setup.defaultConfig = config != nullptr ? config : "";
    setup.testOptions = Kol::Host::CTestBuildOptions::Options();
#else
    setup.defaultConfig = "/etc/cleanup-agent.conf";
#endif
    return setup;
}

// Standard input, output and error open before anything else is: a file
// opened later would otherwise get one of their numbers and take the log
// lines written to it (a lock file, a server's socket).
void OpenStandardDescriptors() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) < 0 && errno == EBADF &&
            ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY) != fd) {
            std::_Exit(Kol::Host::kExitUnusable);
        }
    }
}

// A result that could not be written is a failure, never a silent success.
// With `quietPipe`, a reader that stopped reading (EPIPE) is no failure.
int Finish(int status, bool quietPipe = false) {
    std::cout.flush();
    if ((!std::cout || std::fflush(stdout) != 0) && !(quietPipe && errno == EPIPE)) {
        std::cerr << "cleanup-agent: cannot write to standard output: " << std::strerror(errno)
                  << std::endl;
        return status == Kol::Host::kExitSucceeded ? Kol::Host::kExitFailed : status;
    }
    return status;
}

}  // namespace

int main(int argc, char* argv[]) {
    using namespace Kol::Host;
    OpenStandardDescriptors();
    const CCommandLine::Setup setup = ProgramSetup();
    CHostOptions options;
    try {
        options = CCommandLine::Parse(std::vector<std::string>(argv + 1, argv + argc), setup);
    } catch (const std::exception& e) {
        std::cerr << CHostLogger::ErrorPrefix(std::cerr)
                  << "cleanup-agent: " << CHostLogger::Escape(e.what())
                  << "\nTry 'cleanup-agent --help'.\n";
        return kExitUsage;
    }
    // From here on every way out of a run writes the metrics file.
    std::timespec start{};
    std::timespec_get(&start, TIME_UTC);
    // The file says what runs with this program's rights (the plug-in):
    // it must not be someone else's to replace.
    try {
        if (!options.config.empty()) {
            CTrustedPath::Check(options.config);
        }
    } catch (const std::exception& e) {
        std::cerr << CHostLogger::ErrorPrefix(std::cerr)
                  << "cleanup-agent: " << CHostLogger::Escape(e.what()) << std::endl;
        CHostApplication::WriteMetrics(options, start, kExitUnusable, std::cerr);
        return kExitUnusable;
    }
    if (options.help) {
        std::cout << CCommandLine::Usage(setup);
        return Finish(kExitSucceeded, true);
    }
    if (options.version) {
        std::cout << CCommandLine::Version(options.module);
        return Finish(kExitSucceeded, true);
    }
    if (options.report) {
        return Finish(CReportRun(options, std::cout, std::cerr).Run());
    }
    try {
        CHostApplication application(options, std::cout, std::cerr);
        // Before any other thread exists, so that all of them inherit the mask.
        CSignalWatcher watcher([&application](int signal) { application.OnSignal(signal); });
        const int status = Finish(application.Run());
        // The run history's row, the store closed, the metrics file.
        application.End(status);
        return status;
    } catch (const std::exception& e) {
        std::cerr << CHostLogger::ErrorPrefix(std::cerr)
                  << "cleanup-agent: " << CHostLogger::Escape(e.what()) << std::endl;
        CHostApplication::WriteMetrics(options, start, kExitUnusable, std::cerr);
        return kExitUnusable;
    }
}
