#include "host/store/postgres/CPostgresTools.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <sstream>
#include <stdexcept>

namespace Kol {
namespace Host {

namespace {

bool IsProgram(const std::string& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode) &&
           ::access(path.c_str(), X_OK) == 0;
}

int VersionOf(const std::string& name) {
    return std::all_of(name.begin(), name.end(), ::isdigit) && !name.empty()
               ? std::atoi(name.c_str())
               : -1;
}

}  // namespace

std::string CPostgresTools::Find(const std::string& name) {
    int newest = -1;
    if (DIR* versions = ::opendir("/usr/lib/postgresql")) {
        while (const dirent* entry = ::readdir(versions)) {
            const int version = VersionOf(entry->d_name);
            if (version > newest &&
                IsProgram("/usr/lib/postgresql/" + std::to_string(version) + "/bin/" + name)) {
                newest = version;
            }
        }
        ::closedir(versions);
    }
    if (newest >= 0) {
        return "/usr/lib/postgresql/" + std::to_string(newest) + "/bin/" + name;
    }
    const char* path = std::getenv("PATH");
    std::istringstream folders(path != nullptr ? path : "");
    for (std::string folder; std::getline(folders, folder, ':');) {
        // Relative entries would run a program of the working folder.
        if (!folder.empty() && folder[0] == '/' && IsProgram(folder + "/" + name)) {
            return folder + "/" + name;
        }
    }
    throw std::runtime_error(name + " is not installed (the postgresql-client package has it)");
}

}  // namespace Host
}  // namespace Kol
