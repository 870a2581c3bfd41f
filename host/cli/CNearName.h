#pragma once

#include <string>
#include <vector>

namespace Kol {
namespace Host {

// The "did you mean" of a usage error: the one name a mistyped word most
// likely meant.
//
// Stateless and thread-safe.
class CNearName {
public:
    // The name of `names` nearest to `word` by edit distance (an insertion,
    // deletion, substitution or swap of two neighbouring characters counts
    // one), the first of the table on a tie; empty when none is close: more
    // than one edit for a word of up to four characters, more than two
    // otherwise. `word` itself never counts as near.
    static std::string Of(const std::string& word, const std::vector<std::string>& names);

    // The optimal string alignment distance of `a` and `b`.
    static std::size_t Distance(const std::string& a, const std::string& b);

    CNearName() = delete;
};

}  // namespace Host
}  // namespace Kol
