#pragma once

#include <sqlite3.h>

namespace Kol::Host::Testing {

// Fault injection for tests: while one lives, the default SQLite VFS is
// replaced by one whose every write to a backup's temporary copy (a file
// named "*.bak.tmp-*") lands garbled, all but the header page, so that only
// a check of the copy as written can notice. Other files are untouched.
// One at a time per process; make it before the connection that writes the
// copy is opened.
class CGarblingVfs {
public:
    CGarblingVfs();
    ~CGarblingVfs();

    CGarblingVfs(const CGarblingVfs&) = delete;
    CGarblingVfs& operator=(const CGarblingVfs&) = delete;

private:
    static int Open(sqlite3_vfs*, const char* name, sqlite3_file* file, int flags, int* out);
    static int Write(sqlite3_file* file, const void* data, int amount, sqlite3_int64 offset);

    sqlite3_vfs* const m_base;
    sqlite3_vfs m_vfs;
};

}  // namespace Kol::Host::Testing
