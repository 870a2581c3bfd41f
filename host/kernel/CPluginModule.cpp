#include "host/kernel/CPluginModule.h"

#include <elf.h>
#include <limits.h>
#include <stdlib.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <stdexcept>

#include <Poco/Exception.h>

#include "host/kernel/CTrustedPath.h"

namespace Kol {
namespace Host {

namespace {

// This program's own ELF class, to compare a plug-in's with.
#if defined(__LP64__)
const unsigned char kElfClass = ELFCLASS64;
typedef Elf64_Ehdr ElfHeader;
typedef Elf64_Phdr ProgramHeader;
#else
const unsigned char kElfClass = ELFCLASS32;
typedef Elf32_Ehdr ElfHeader;
typedef Elf32_Phdr ProgramHeader;
#endif

// a + b, or the largest value when that overflows: a crafted header must not
// wrap around to an end that seems to lie within the file.
std::uint64_t End(std::uint64_t a, std::uint64_t b) {
    return a > UINT64_MAX - b ? UINT64_MAX : a + b;
}

// Reads one header at `offset` into `out`; false when the file ends first.
template <typename T>
bool ReadAt(std::ifstream& file, std::uint64_t offset, T& out) {
    file.seekg(static_cast<std::streamoff>(offset));
    file.read(reinterpret_cast<char*>(&out), sizeof out);
    return static_cast<std::size_t>(file.gcount()) == sizeof out;
}

// The plug-in's real path. A name without a slash is a file in the working
// directory, as for any other file option (the loader would search its
// library path for it instead).
std::string RealPath(const std::string& path) {
    char resolved[PATH_MAX];
    if (::realpath(path.c_str(), resolved) == nullptr) {
        throw std::runtime_error("cannot load plug-in " + path + ": " + std::strerror(errno));
    }
    return resolved;
}

// The machine this program was built for, read from its own ELF header.
std::uint16_t OwnMachine() {
    static const std::uint16_t machine = [] {
        std::ifstream self("/proc/self/exe", std::ios::binary);
        ElfHeader header{};
        return self && ReadAt(self, 0, header) ? header.e_machine : std::uint16_t{EM_NONE};
    }();
    return machine;
}

// The loader maps a shared object's segments straight from the file: one cut
// short (a copy that stopped half-way) faults with SIGBUS on first use
// instead of failing to load. So before loading, the file must be a shared
// object of this machine whose headers, segments and section table all lie
// within it. Returns why not, or "" when it is whole.
std::string CheckElfImage(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        return std::string("cannot read it: ") + std::strerror(errno);
    }
    file.seekg(0, std::ios::end);
    const std::uint64_t size = static_cast<std::uint64_t>(file.tellg());
    ElfHeader header{};
    if (!ReadAt(file, 0, header) || std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0) {
        return "it is not an ELF shared object";
    }
    if (header.e_ident[EI_CLASS] != kElfClass || header.e_type != ET_DYN ||
        (OwnMachine() != EM_NONE && header.e_machine != OwnMachine())) {
        return "it is not a shared object for this machine";
    }
    std::uint64_t end = End(header.e_shoff, std::uint64_t{header.e_shnum} * header.e_shentsize);
    end = std::max(end, End(header.e_phoff, std::uint64_t{header.e_phnum} * header.e_phentsize));
    for (std::uint64_t i = 0; i < header.e_phnum && end <= size; ++i) {
        ProgramHeader segment{};
        if (!ReadAt(file, header.e_phoff + i * header.e_phentsize, segment)) {
            end = size + 1;
            break;
        }
        end = std::max(end, End(segment.p_offset, segment.p_filesz));
    }
    if (end > size) {
        return "the file is cut short (" + std::to_string(size) + " bytes; its headers describe " +
               std::to_string(end) + ")";
    }
    return std::string();
}

}  // namespace

CPluginModule::CPluginModule(const std::string& libraryPath, const std::string& className)
    : m_path(RealPath(libraryPath)) {
    // It runs with this program's rights: it must not be someone else's to replace.
    CTrustedPath::Check(m_path);
    const std::string whole = CheckElfImage(m_path);
    if (!whole.empty()) {
        throw std::runtime_error("cannot load plug-in " + libraryPath + ": " + whole);
    }
    try {
        m_loader.loadLibrary(m_path);
    } catch (const Poco::Exception& e) {
        throw std::runtime_error("cannot load plug-in " + libraryPath + ": " + e.displayText());
    }
    try {
        m_module.reset(m_loader.create(className));
    } catch (const Poco::Exception& e) {
        m_loader.unloadLibrary(m_path);
        throw std::runtime_error("plug-in " + libraryPath + " does not publish " + className +
                                 ": " + e.displayText());
    } catch (const std::exception& e) {
        m_loader.unloadLibrary(m_path);
        throw std::runtime_error("plug-in " + libraryPath + " cannot create " + className + ": " +
                                 e.what());
    }
}

CPluginModule::~CPluginModule() {
    Destroy();
    try {
        m_loader.unloadLibrary(m_path);
    } catch (const Poco::Exception&) {
        // Nothing to unload.
    }
}

void CPluginModule::Initialize(const Common::Kernel::IResourceProviderPtr& provider) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_module) {
        m_module->Initialize(provider);
    }
}

void CPluginModule::Start() {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_module) {
        m_module->Start();
    }
}

void CPluginModule::RequestStop() {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_module) {
        m_module->RequestStop();
    }
}

bool CPluginModule::Stop(bool force) {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_module ? m_module->Stop(force) : true;
}

std::string CPluginModule::GetName() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_module ? m_module->GetName() : std::string();
}

void CPluginModule::Destroy() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_module.reset();
}

}  // namespace Host
}  // namespace Kol
