#pragma once

#include <cstdlib>
#include <stdexcept>
#include <string>

#include <boost/filesystem/operations.hpp>

namespace Kol::Host::Testing {

// A new empty directory under $TMPDIR (or /tmp) for one test, removed with
// its content when the object goes, however the test ends.
class CScratchDirectory {
public:
    CScratchDirectory() : path(Make()) {}
    ~CScratchDirectory() {
        boost::system::error_code ignored;
        boost::filesystem::remove_all(path, ignored);
    }

    CScratchDirectory(const CScratchDirectory&) = delete;
    CScratchDirectory& operator=(const CScratchDirectory&) = delete;

    const std::string path;

private:
    static std::string Make() {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base != nullptr ? base : "/tmp") + "/host-test-XXXXXX";
        if (::mkdtemp(&pattern[0]) == nullptr) {
            throw std::runtime_error("cannot make a temporary directory");
        }
        return pattern;
    }
};

}  // namespace Kol::Host::Testing
