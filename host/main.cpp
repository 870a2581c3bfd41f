// cleanup-agent: loads the cleanup plug-in and cleans an agent store.
//
// Built twice: as the product, and with CLEANUP_AGENT_TEST_BUILD as
// cleanup-agent-test, which adds the fault-injection options and reads its
// default configuration file from $CLEANUP_AGENT_TEST_CONFIG instead of /etc.

#include <cstdlib>
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/CCommandLine.h"
#include "host/CHostApplication.h"
#include "host/CHostLogger.h"
#include "host/CSignalWatcher.h"
#include "host/ExitStatus.h"
#ifdef CLEANUP_AGENT_TEST_BUILD
#include "host/CTestBuildOptions.h"
#endif

namespace {

Kol::Host::CCommandLine::Setup ProgramSetup() {
    Kol::Host::CCommandLine::Setup setup;
    setup.defaultModule = Kol::Host::CCommandLine::DefaultModulePath();
#ifdef CLEANUP_AGENT_TEST_BUILD
    const char* config = std::getenv("CLEANUP_AGENT_TEST_CONFIG");
    setup.defaultConfig = config != nullptr ? config : "";
    setup.testOptions = Kol::Host::CTestBuildOptions::Options();
#else
    setup.defaultConfig = "/etc/cleanup-agent.conf";
#endif
    return setup;
}

}  // namespace

int main(int argc, char* argv[]) {
    using namespace Kol::Host;
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
    if (options.help) {
        std::cout << CCommandLine::Usage(setup);
        return kExitSucceeded;
    }
    if (options.version) {
        std::cout << CCommandLine::Version(options.module);
        return kExitSucceeded;
    }
    try {
        CHostApplication application(options, std::cout, std::cerr);
        // Before any other thread exists, so that all of them inherit the mask.
        CSignalWatcher watcher([&application](int signal) { application.OnSignal(signal); });
        return application.Run();
    } catch (const std::exception& e) {
        std::cerr << CHostLogger::ErrorPrefix(std::cerr)
                  << "cleanup-agent: " << CHostLogger::Escape(e.what()) << std::endl;
        return kExitUnusable;
    }
}
