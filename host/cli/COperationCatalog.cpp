#include "host/cli/COperationCatalog.h"

#include <cctype>
#include <charconv>
#include <limits>
#include <stdexcept>

#include "contracts/datadefinition/Cleanup.pb.h"
#include "host/cli/CNearName.h"

namespace Kol {
namespace Host {

namespace {

const char* const kNotHandled = "not handled: fails";
const char* const kEmptyHook = "a hook this module leaves empty";

// What each operation does with this host's store; the names come from the
// data-definition library, so that they cannot drift from what the module
// prints.
const char* Effect(std::int32_t number) {
    switch (number) {
        case 1:
            return "removes logs already sent to the server";
        case 2:
            return "removes delta logs that a newer state superseded";
        case 3:
            return "keeps max_event_logs_per_type event logs per type";
        case 4:
            return "removes logs whose owner is gone";
        case 5:
            return "removes logs marked ignored";
        case 6:
            return "removes orphan blobs, returns free pages, backs up";
        case 7:
            return "removes logs older than their class's retention";
        case 12:
            return "rebuilds the indexes and their statistics";
        case 13:
            return "removes enrolment tombstones older than 120 h";
        case 14:
            return "removes static objects marked deleted";
        default:
            return number >= 8 && number <= 11 ? kNotHandled : kEmptyHook;
    }
}

// The enumeration name of a number the data-definition library leaves unnamed.
std::string Placeholder(std::int32_t number) {
    return "OPERATION_" + std::to_string(number);
}

std::string Dashed(const std::string& enumeration) {
    std::string name = enumeration;
    for (char& c : name) {
        c = c == '_' ? '-' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return name;
}

std::vector<COperationCatalog::Operation> Build() {
    std::vector<COperationCatalog::Operation> operations;
    const google::protobuf::EnumDescriptor* descriptor =
        Common::DataDefinition::Cleanup::CleanupLogsOperations_descriptor();
    for (std::int32_t number = 1; number <= 24; ++number) {
        const google::protobuf::EnumValueDescriptor* value = descriptor->FindValueByNumber(number);
        const std::string enumeration = value != nullptr ? value->name() : Placeholder(number);
        operations.push_back({number, Dashed(enumeration), enumeration, Effect(number)});
    }
    return operations;
}

}  // namespace

const std::vector<COperationCatalog::Operation>& COperationCatalog::All() {
    static const std::vector<Operation> operations = Build();
    return operations;
}

const std::vector<std::int32_t>& COperationCatalog::AllInRunOrder() {
    // Storage, with the backup after it, goes last so that it releases and
    // copies what the others left.
    static const std::vector<std::int32_t> all = {1, 2, 3, 4, 5, 7, 12, 13, 14, 6};
    return all;
}

const COperationCatalog::Operation* COperationCatalog::Find(std::int32_t number) {
    return number >= 1 && number <= 24 ? &All()[static_cast<std::size_t>(number - 1)] : nullptr;
}

std::string COperationCatalog::NameOf(std::int32_t number) {
    const Operation* operation = Find(number);
    return operation != nullptr ? operation->name : std::to_string(number);
}

bool COperationCatalog::IsHandled(std::int32_t number) {
    const Operation* operation = Find(number);
    return operation != nullptr && operation->effect != kNotHandled;
}

bool COperationCatalog::IsEmptyHook(std::int32_t number) {
    const Operation* operation = Find(number);
    return operation != nullptr && operation->effect == kEmptyHook;
}

std::vector<std::int32_t> COperationCatalog::Parse(const std::string& word) {
    const char* begin = word.data() + (!word.empty() && word[0] == '+' ? 1 : 0);
    const char* end = word.data() + word.size();
    std::int64_t number = 0;
    const std::from_chars_result parsed = std::from_chars(begin, end, number);
    if (begin != end && parsed.ec == std::errc() && parsed.ptr == end) {
        if (number < std::numeric_limits<std::int32_t>::min() ||
            number > std::numeric_limits<std::int32_t>::max()) {
            throw std::invalid_argument("operation " + word + " is not a 32-bit value");
        }
        return {static_cast<std::int32_t>(number)};
    }
    const std::string name = Dashed(word);
    if (name == "all") {
        return AllInRunOrder();
    }
    std::vector<std::string> named;
    for (const Operation& operation : All()) {
        if (operation.name == name) {
            return {operation.number};
        }
        if (!IsPlaceholder(operation)) {
            named.push_back(operation.name);
        }
    }
    named.push_back("all");
    const std::string near = CNearName::Of(name, named);
    throw std::invalid_argument("unknown operation \"" + word + "\"" +
                                (near.empty() ? "" : " (did you mean \"" + near + "\"?)") +
                                "; valid: " + ValidNames() + ", all, or a number");
}

bool COperationCatalog::IsPlaceholder(const Operation& operation) {
    return operation.enumeration == Placeholder(operation.number);
}

std::string COperationCatalog::ValidNames() {
    // The named operations one by one; the placeholders, which only a
    // number tells apart, by ranges of consecutive numbers.
    std::string names;
    std::string ranges;
    const std::vector<Operation>& all = All();
    for (std::size_t i = 0; i < all.size(); ++i) {
        if (!IsPlaceholder(all[i])) {
            names += (names.empty() ? "" : ", ") + all[i].name;
            continue;
        }
        std::size_t last = i;
        while (last + 1 < all.size() && IsPlaceholder(all[last + 1])) {
            ++last;
        }
        ranges += (ranges.empty() ? "" : ", ") + std::to_string(all[i].number) +
                  (last > i ? "-" + std::to_string(all[last].number) : std::string());
        i = last;
    }
    return ranges.empty() ? names : names + ", operation-N for " + ranges;
}

std::string COperationCatalog::NamesOf(const std::vector<std::int32_t>& numbers) {
    std::string names;
    for (const std::int32_t number : numbers) {
        names += (names.empty() ? "" : " ") + NameOf(number);
    }
    return names;
}

}  // namespace Host
}  // namespace Kol
