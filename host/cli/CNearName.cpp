#include "host/cli/CNearName.h"

#include <algorithm>

namespace Kol {
namespace Host {

namespace {

// Beyond this, a suggestion is more often wrong than helpful.
const std::size_t kShortWord = 4;
const std::size_t kMostEditsOfShortWord = 1;
const std::size_t kMostEdits = 2;

}  // namespace

std::size_t CNearName::Distance(const std::string& a, const std::string& b) {
    // Three rows of the dynamic programme: the one before the previous is
    // needed for a swap.
    std::vector<std::size_t> before(b.size() + 1), previous(b.size() + 1), row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j) {
        previous[j] = j;
    }
    for (std::size_t i = 1; i <= a.size(); ++i) {
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t cost = a[i - 1] == b[j - 1] ? 0 : 1;
            row[j] = std::min({previous[j] + 1, row[j - 1] + 1, previous[j - 1] + cost});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) {
                row[j] = std::min(row[j], before[j - 2] + 1);
            }
        }
        before.swap(previous);
        previous.swap(row);
    }
    return previous[b.size()];
}

std::string CNearName::Of(const std::string& word, const std::vector<std::string>& names) {
    const std::size_t most = word.size() <= kShortWord ? kMostEditsOfShortWord : kMostEdits;
    std::string nearest;
    std::size_t best = most + 1;
    for (const std::string& name : names) {
        const std::size_t distance = Distance(word, name);
        if (distance > 0 && distance < best) {
            best = distance;
            nearest = name;
        }
    }
    return nearest;
}

}  // namespace Host
}  // namespace Kol
