// cleanup-agent: loads the cleanup plug-in and cleans an agent store.

#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/CCommandLine.h"
#include "host/CHostApplication.h"
#include "host/CSignalWatcher.h"

int main(int argc, char* argv[]) {
    using namespace Kol::Host;
    const std::string defaultModule = CCommandLine::DefaultModulePath();
    CHostOptions options;
    try {
        options =
            CCommandLine::Parse(std::vector<std::string>(argv + 1, argv + argc), defaultModule);
    } catch (const std::exception& e) {
        std::cerr << "cleanup-agent: " << e.what() << "\n\n" << CCommandLine::Usage(defaultModule);
        return 2;
    }
    if (options.help) {
        std::cout << CCommandLine::Usage(defaultModule);
        return 0;
    }
    try {
        CHostApplication application(options, std::cout, std::cerr);
        // Before any other thread exists, so that all of them inherit the mask.
        CSignalWatcher watcher([&application](int signal) { application.OnSignal(signal); });
        return application.Run();
    } catch (const std::exception& e) {
        std::cerr << "cleanup-agent: " << e.what() << std::endl;
        return 3;
    }
}
