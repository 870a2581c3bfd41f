// One libFuzzer program per check: CLEANUP_FUZZ_CHECK names the check.
#include <cstdio>
#include <cstdlib>

#include <google/protobuf/stubs/logging.h>

#include "fuzz/FuzzChecks.h"

// protobuf logs every incomplete message it parses; millions of lines would
// bury the findings.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
    google::protobuf::SetLogHandler(nullptr);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string failure = Kol::Fuzz::CLEANUP_FUZZ_CHECK(data, size);
    if (!failure.empty()) {
        std::fprintf(stderr, "fuzz check failed: %s\n", failure.c_str());
        std::abort();
    }
    return 0;
}
