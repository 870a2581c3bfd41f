#include "host/CCommandLine.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <limits>
#include <sstream>
#include <stdexcept>

#include <boost/program_options.hpp>

#include "contracts/datadefinition/Cleanup.pb.h"

namespace Kol {
namespace Host {

namespace po = boost::program_options;

namespace {

const char* const kPluginFile = "libCleanupAgent.so";

bool ParseInt64(const std::string& text, std::int64_t& value) {
    const char* begin = text.data();
    const char* end = text.data() + text.size();
    if (begin != end && *begin == '+') {
        ++begin;
    }
    const std::from_chars_result result = std::from_chars(begin, end, value);
    return begin != end && result.ec == std::errc() && result.ptr == end;
}

std::vector<std::string> SplitCommas(const std::string& text) {
    std::vector<std::string> parts;
    std::string::size_type start = 0;
    for (;;) {
        const std::string::size_type comma = text.find(',', start);
        parts.push_back(text.substr(start, comma - start));
        if (comma == std::string::npos) {
            return parts;
        }
        start = comma + 1;
    }
}

std::string Quoted(const std::string& text) {
    return "\"" + text + "\"";
}

po::options_description Options(const std::string& defaultModule) {
    po::options_description options("Options");
    // Defaults are written into the texts: several of them come from the
    // store and cannot be known before it is open.
    options.add_options()("help", "print this text and exit")(
        "db", po::value<std::string>()->value_name("FILE"),
        "the agent's store, a plain path (never a URI); the backup FILE.bak and the lock "
        "FILE.lock go beside the file it names after symbolic links are resolved (default: "
        "agent.db in the working directory)")(
        "create", "make the store when it is absent (default: an absent store is an error)")(
        "wait", po::value<std::string>()->value_name("SECONDS"),
        "wait up to SECONDS for another cleanup-agent working on the same store (default: 0)")(
        "module", po::value<std::string>()->value_name("FILE"),
        ("the cleanup plug-in (default: " + defaultModule + ")").c_str())(
        "installation-kind", po::value<std::string>()->value_name("N"),
        "the installation kind; kind 1 sends status events and backs up the store "
        "(default: 1)")(
        "installation-uuid", po::value<std::string>()->value_name("UUID"),
        "the installation UUID (default: the one kept in the store's settings, created on "
        "first use)")(
        "retention", po::value<std::string>()->value_name("D1,D2,D3,D4,D5"),
        "the retention periods of classes 1 to 5 in days, 0 to 65535 each (default: settings "
        "retention_days_1 to retention_days_5, else 30,90,180,365,730)")(
        "log-level", po::value<std::string>()->value_name("N"),
        "lowest level written: 1 debug, 2 info, 3 warning, 4 error (default: 2)")(
        "request", po::value<std::string>()->value_name("UUID1,UUID2,UUID3"),
        "the three UUIDs of the request (default: random)")(
        "dry-run",
        "run and report everything, then roll it back: the store is unchanged and "
        "no backup is written (default: off)")(
        "seed-demo", po::value<std::string>()->value_name("ROWS"),
        "first fill the store with a synthetic data set of about ROWS logs (default: no "
        "seeding)")("batch-rows", po::value<std::string>()->value_name("N"),
                    "rows per delete batch and transaction, 1 to 10000 (default: 10000)")(
        "inject-write-faults", po::value<std::string>()->value_name("AFTER,COUNT"),
        "fault injection for tests: after AFTER writes to the store's files the next COUNT "
        "writes fail as on a full disk (default: none)");
    return options;
}

std::string Upper(std::string text) {
    for (char& c : text) {
        c = c == '-' ? '_' : static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return text;
}

}  // namespace

const std::vector<std::int32_t>& CCommandLine::AllOperations() {
    // Storage, with the backup after it, goes last so that it releases and
    // copies what the others left.
    static const std::vector<std::int32_t> all = {1, 2, 3, 4, 5, 7, 12, 13, 14, 6};
    return all;
}

std::vector<std::int32_t> CCommandLine::ParseOperation(const std::string& word) {
    std::int64_t number = 0;
    if (ParseInt64(word, number)) {
        if (number < std::numeric_limits<std::int32_t>::min() ||
            number > std::numeric_limits<std::int32_t>::max()) {
            throw std::invalid_argument("operation " + word + " is not a 32-bit value");
        }
        return {static_cast<std::int32_t>(number)};
    }
    const std::string name = Upper(word);
    if (name == "ALL") {
        return AllOperations();
    }
    const google::protobuf::EnumValueDescriptor* value =
        Common::DataDefinition::Cleanup::CleanupLogsOperations_descriptor()->FindValueByName(name);
    if (value == nullptr || name.empty()) {
        throw std::invalid_argument("unknown operation " + Quoted(word) +
                                    ": expected a number, an operation name such as OLD_LOGS "
                                    "or old-logs, or all");
    }
    return {value->number()};
}

std::string CCommandLine::NormalizeUuid(const std::string& text, const std::string& option) {
    bool valid = text.size() == 36;
    std::string lower = text;
    for (std::size_t i = 0; valid && i < text.size(); ++i) {
        const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
        const unsigned char c = static_cast<unsigned char>(text[i]);
        valid = dash ? c == '-' : std::isxdigit(c) != 0;
        lower[i] = static_cast<char>(std::tolower(c));
    }
    if (!valid) {
        throw std::invalid_argument(option + ": " + Quoted(text) +
                                    " is not a UUID (expected 8-4-4-4-12 hexadecimal digits)");
    }
    return lower;
}

std::uint16_t CCommandLine::ParseDays(const std::string& text, const std::string& source) {
    std::int64_t days = -1;
    if (!ParseInt64(text, days) || days < 0 || days > 65535) {
        throw std::invalid_argument(source + ": " + Quoted(text) +
                                    " is not a number of days from 0 to 65535");
    }
    return static_cast<std::uint16_t>(days);
}

std::string CCommandLine::DefaultModulePath() {
    std::string directory = ".";
    char self[4096];
    const ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (length > 0) {
        const std::string program(self, static_cast<std::size_t>(length));
        directory = program.substr(0, program.rfind('/'));
    }
    // The plug-in's private folder, placed relative to the program in the
    // build tree as when installed; else a plug-in copied beside the program.
    const std::string installed =
        directory + "/" + CLEANUP_PLUGIN_DIR_FROM_PROGRAM + "/" + kPluginFile;
    const std::string beside = directory + "/" + kPluginFile;
    return ::access(installed.c_str(), F_OK) != 0 && ::access(beside.c_str(), F_OK) == 0
               ? beside
               : installed;
}

std::string CCommandLine::Usage(const std::string& defaultModule) {
    std::ostringstream text;
    text << "Usage: cleanup-agent [options] [OPERATION...]\n"
            "\n"
            "Loads the cleanup plug-in, sends it one cleanup request with the given operations\n"
            "and lets it clean the agent's SQLite store.\n"
            "\n"
            "OPERATION: a number (passed on as it is), an operation name (OLD_LOGS or\n"
            "old-logs, any case), or all (1 2 3 4 5 7 12 13 14 6). Negative numbers go after\n"
            "\"--\". Without an operation the store is only opened (and created with --create).\n"
            "\n"
         << Options(defaultModule)
         << "\n"
            "Exit status: 0 every operation succeeded, 1 at least one failed, 2 usage error,\n"
            "3 plug-in or store unusable, or another run cleans the store, 129, 130 or 143\n"
            "stopped by SIGHUP, SIGINT or SIGTERM.\n";
    return text.str();
}

CHostOptions CCommandLine::Parse(const std::vector<std::string>& arguments,
                                 const std::string& defaultModule) {
    po::options_description options = Options(defaultModule);
    po::options_description hidden;
    hidden.add_options()("operation", po::value<std::vector<std::string>>());
    po::options_description all;
    all.add(options).add(hidden);
    po::positional_options_description positional;
    positional.add("operation", -1);

    po::variables_map values;
    try {
        po::store(
            po::command_line_parser(arguments)
                .options(all)
                .positional(positional)
                .style(po::command_line_style::unix_style & ~po::command_line_style::allow_guessing)
                .run(),
            values);
        po::notify(values);
    } catch (const po::error& e) {
        throw std::invalid_argument(e.what());
    }

    CHostOptions result;
    result.module = defaultModule;
    result.help = values.count("help") != 0;
    result.dryRun = values.count("dry-run") != 0;
    if (values.count("db")) {
        result.db = values["db"].as<std::string>();
        if (result.db.empty()) {
            throw std::invalid_argument("--db: the file name is empty");
        }
    }
    result.create = values.count("create") != 0;
    if (values.count("wait")) {
        const std::string text = values["wait"].as<std::string>();
        std::int64_t seconds = -1;
        if (!ParseInt64(text, seconds) || seconds < 0 || seconds > 86400) {
            throw std::invalid_argument("--wait: " + Quoted(text) +
                                        " is not a number of seconds from 0 to 86400");
        }
        result.waitSeconds = static_cast<std::uint32_t>(seconds);
    }
    if (values.count("module")) {
        result.module = values["module"].as<std::string>();
    }
    if (values.count("installation-kind")) {
        const std::string text = values["installation-kind"].as<std::string>();
        std::int64_t kind = 0;
        if (!ParseInt64(text, kind) || kind < std::numeric_limits<std::int32_t>::min() ||
            kind > std::numeric_limits<std::int32_t>::max()) {
            throw std::invalid_argument("--installation-kind: " + Quoted(text) +
                                        " is not a 32-bit integer");
        }
        result.installationKind = static_cast<std::int32_t>(kind);
    }
    if (values.count("installation-uuid")) {
        result.installationUuid =
            NormalizeUuid(values["installation-uuid"].as<std::string>(), "--installation-uuid");
    }
    if (values.count("retention")) {
        const std::vector<std::string> parts = SplitCommas(values["retention"].as<std::string>());
        if (parts.size() != 5) {
            throw std::invalid_argument(
                "--retention needs five day counts separated by commas, got " +
                std::to_string(parts.size()));
        }
        std::array<std::uint16_t, 5> days{};
        for (std::size_t i = 0; i < parts.size(); ++i) {
            days[i] = ParseDays(parts[i], "--retention");
        }
        result.retentionDays = days;
    }
    if (values.count("log-level")) {
        const std::string text = values["log-level"].as<std::string>();
        std::int64_t level = 0;
        if (!ParseInt64(text, level) || level < 1 || level > 4) {
            throw std::invalid_argument("--log-level: " + Quoted(text) +
                                        " is not a level from 1 to 4");
        }
        result.logLevel = static_cast<std::int32_t>(level);
    }
    if (values.count("request")) {
        const std::vector<std::string> parts = SplitCommas(values["request"].as<std::string>());
        if (parts.size() != 3) {
            throw std::invalid_argument("--request needs three UUIDs separated by commas, got " +
                                        std::to_string(parts.size()));
        }
        std::array<std::string, 3> uuids;
        for (std::size_t i = 0; i < parts.size(); ++i) {
            uuids[i] = NormalizeUuid(parts[i], "--request");
        }
        result.requestUuids = uuids;
    }
    if (values.count("seed-demo")) {
        const std::string text = values["seed-demo"].as<std::string>();
        std::int64_t rows = -1;
        if (!ParseInt64(text, rows) || rows < 0) {
            throw std::invalid_argument("--seed-demo: " + Quoted(text) +
                                        " is not a number of rows");
        }
        result.seedRows = static_cast<std::uint64_t>(rows);
    }
    if (values.count("batch-rows")) {
        const std::string text = values["batch-rows"].as<std::string>();
        std::int64_t rows = 0;
        if (!ParseInt64(text, rows) || rows < 1 || rows > 10000) {
            throw std::invalid_argument("--batch-rows: " + Quoted(text) +
                                        " is not a number of rows from 1 to 10000");
        }
        result.batchRows = static_cast<std::size_t>(rows);
    }
    if (values.count("inject-write-faults")) {
        const std::string text = values["inject-write-faults"].as<std::string>();
        const std::vector<std::string> parts = SplitCommas(text);
        std::int64_t after = -1;
        std::int64_t count = -1;
        if (parts.size() != 2 || !ParseInt64(parts[0], after) || after < 0 ||
            !ParseInt64(parts[1], count) || count < 0) {
            throw std::invalid_argument("--inject-write-faults: " + Quoted(text) +
                                        " is not two write counts AFTER,COUNT");
        }
        result.writeFaults =
            std::make_pair(static_cast<std::uint64_t>(after), static_cast<std::uint64_t>(count));
    }
    if (values.count("operation")) {
        for (const std::string& word : values["operation"].as<std::vector<std::string>>()) {
            const std::vector<std::int32_t> operations = ParseOperation(word);
            result.operations.insert(result.operations.end(), operations.begin(), operations.end());
        }
    }
    return result;
}

}  // namespace Host
}  // namespace Kol
