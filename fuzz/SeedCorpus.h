#pragma once

#include <string>
#include <vector>

namespace Kol {
namespace Fuzz {

struct Seed {
    std::string target;  // a FuzzTarget name
    std::string name;    // the file name in the target's corpus folder
    std::string bytes;
};

// The seed corpus: inputs written by the project's own serialisers (binary
// and protobuf forms of symbol containers, UUID texts, UTCTime encodings and
// tick counts) and a few texts to cut. Deterministic: fixed values only, no
// clock. Throws what the serialisers throw (nothing for these values).
std::vector<Seed> MakeSeedCorpus();

}  // namespace Fuzz
}  // namespace Kol
