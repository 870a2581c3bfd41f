#include "host/testing/CGarblingVfs.h"

#include <cstring>
#include <string>

namespace Kol::Host::Testing {

namespace {

sqlite3_vfs* s_base = nullptr;
const sqlite3_io_methods* s_baseMethods = nullptr;
sqlite3_io_methods s_methods;

}  // namespace

CGarblingVfs::CGarblingVfs() : m_base(sqlite3_vfs_find(nullptr)), m_vfs(*m_base) {
    m_vfs.zName = "garbling";
    m_vfs.xOpen = &Open;
    s_base = m_base;
    sqlite3_vfs_register(&m_vfs, 1);
}

CGarblingVfs::~CGarblingVfs() {
    sqlite3_vfs_register(m_base, 1);
    sqlite3_vfs_unregister(&m_vfs);
}

int CGarblingVfs::Open(sqlite3_vfs*, const char* name, sqlite3_file* file, int flags, int* out) {
    const int code = s_base->xOpen(s_base, name, file, flags, out);
    if (code == SQLITE_OK && file->pMethods != nullptr && name != nullptr &&
        std::strstr(name, ".bak.tmp-") != nullptr) {
        s_baseMethods = file->pMethods;
        s_methods = *file->pMethods;
        s_methods.xWrite = &Write;
        file->pMethods = &s_methods;
    }
    return code;
}

int CGarblingVfs::Write(sqlite3_file* file, const void* data, int amount, sqlite3_int64 offset) {
    std::string bytes(static_cast<const char*>(data), static_cast<std::size_t>(amount));
    for (char& byte : bytes) {
        byte = offset == 0 ? byte : static_cast<char>(byte ^ 0x5a);
    }
    return s_baseMethods->xWrite(file, bytes.data(), amount, offset);
}

}  // namespace Kol::Host::Testing
