#include "host/testing/CTestBuildOptions.h"

#include <limits>
#include <stdexcept>

#include "host/testing/CWriteFaultVfs.h"

namespace Kol {
namespace Host {

namespace {

void InjectWriteFaults(const std::string& text, CHostOptions& options) {
    const std::string::size_type comma = text.find(',');
    const std::int64_t most = std::numeric_limits<std::int64_t>::max();
    std::int64_t after = -1;
    std::int64_t count = -1;
    try {
        if (comma == std::string::npos) {
            throw std::invalid_argument("no comma");
        }
        after = CCommandLine::ParseNumber(text.substr(0, comma), 0, most, "", "");
        count = CCommandLine::ParseNumber(text.substr(comma + 1), 0, most, "", "");
    } catch (const std::invalid_argument&) {
        throw std::invalid_argument("--inject-write-faults: \"" + text +
                                    "\" is not two write counts AFTER,COUNT");
    }
    CWriteFaultVfs::Install(static_cast<std::uint64_t>(after), static_cast<std::uint64_t>(count));
    options.vfs = CWriteFaultVfs::kName;
}

void InjectDiskSpace(const std::string& text, CHostOptions& options) {
    const std::int64_t bytes = CCommandLine::ParseNumber(
        text, 0, std::numeric_limits<std::int64_t>::max(), "--inject-disk-space", "a byte count");
    CWriteFaultVfs::LimitSpace(static_cast<std::uint64_t>(bytes));
    options.vfs = CWriteFaultVfs::kName;
}

}  // namespace

std::vector<CCommandLine::Option> CTestBuildOptions::Options() {
    return {
        {"inject-write-faults", 0, "AFTER,COUNT",
         "after AFTER writes to the store's files the next COUNT writes fail as on a full disk",
         CCommandLine::Section::kTest, InjectWriteFaults, false},
        {"inject-disk-space", 0, "BYTES",
         "the store's files may grow by BYTES in all, as on a nearly full disk",
         CCommandLine::Section::kTest, InjectDiskSpace, false},
    };
}

}  // namespace Host
}  // namespace Kol
