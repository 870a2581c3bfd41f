#include "host/cli/CCommandLine.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdlib>
#include <functional>
#include <limits>
#include <sstream>
#include <stdexcept>

#include <boost/program_options.hpp>

#include "host/cli/CConfigFile.h"
#include "host/cli/CHelpText.h"
#include "host/cli/CNearName.h"
#include "host/cli/COperationCatalog.h"
#include "host/cli/CPluginFolder.h"
#include "host/cli/CSizeLimitOptions.h"
#include "host/cli/ExitStatus.h"
#include "host/store/CStoreFactory.h"

#ifndef CLEANUP_AGENT_VERSION
#error "CLEANUP_AGENT_VERSION must be defined by the build"
#endif

namespace Kol {
namespace Host {

namespace po = boost::program_options;

namespace {

const std::int64_t kInt32Min = std::numeric_limits<std::int32_t>::min();
const std::int64_t kInt32Max = std::numeric_limits<std::int32_t>::max();

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

// A file option's value; an empty one is refused.
std::string FileName(const std::string& text, const char* option) {
    if (text.empty()) {
        throw std::invalid_argument(std::string("--") + option + ": the file name is empty");
    }
    return text;
}

// A flag's value: "true" from the command line, any of Boost's boolean
// words from the configuration file.
bool Flag(const std::string& text, const char* option) {
    std::string word = text;
    for (char& c : word) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    if (word == "true" || word == "yes" || word == "on" || word == "1") {
        return true;
    }
    if (word == "false" || word == "no" || word == "off" || word == "0") {
        return false;
    }
    throw std::invalid_argument(std::string("--") + option + ": \"" + text +
                                "\" is not true or false");
}

std::vector<std::string> Parts(const std::string& text, std::size_t count, const char* option,
                               const char* what) {
    const std::vector<std::string> parts = SplitCommas(text);
    if (parts.size() != count) {
        throw std::invalid_argument(std::string("--") + option + " needs " + what +
                                    " separated by commas, got " + std::to_string(parts.size()));
    }
    return parts;
}

void SetLevel(const std::string& text, CHostOptions& o) {
    o.logLevel = static_cast<std::int32_t>(
        CCommandLine::ParseNumber(text, 1, 4, "--log-level", "a level from 1 to 4"));
}

const std::vector<CCommandLine::Option> kOptions = {
    {"help", 'h', nullptr, "print this text and exit", CCommandLine::Section::kMain,
     [](const std::string& v, CHostOptions& o) { o.help = Flag(v, "help"); }, false},
    {"version", 'V', nullptr, "print the versions of the program, plug-in and SQLite and exit",
     CCommandLine::Section::kMain,
     [](const std::string& v, CHostOptions& o) { o.version = Flag(v, "version"); }, false},
    {"db", 0, "STORE",
     "the agent's store: an SQLite file, a plain path (never an SQLite URI) beside whose real "
     "path the backup FILE.bak and the lock FILE.lock go; or a PostgreSQL database, "
     "postgresql://... or postgres://... in libpq's syntax, whose PG* environment variables "
     "apply (default: agent.db in the working directory)",
     CCommandLine::Section::kMain,
     [](const std::string& v, CHostOptions& o) { o.db = FileName(v, "db"); }, true},
    {"backup", 0, "FILE",
     "where the storage cleanup's backup goes, replaced only by a verified copy; FILE must be "
     "absent or this installation's backup made here, and its temporary copies go beside it "
     "(default: FILE.bak beside an SQLite store; DATABASE.dump in the working directory for "
     "PostgreSQL)",
     CCommandLine::Section::kMain,
     [](const std::string& v, CHostOptions& o) { o.backup = FileName(v, "backup"); }, true},
    {"create", 0, nullptr,
     "make the store when it is absent (default: an absent store is an error)",
     CCommandLine::Section::kMain,
     [](const std::string& v, CHostOptions& o) { o.create = Flag(v, "create"); }, true},
    {"module", 0, "FILE",
     "the cleanup plug-in: a path, or a NAME without a slash for NAME or libNAME.so in the "
     "plug-in folder, where the installed one is (default: the one installed with the program)",
     CCommandLine::Section::kMain, [](const std::string& v, CHostOptions& o) { o.module = v; },
     true},
    {"config", 0, "FILE",
     "read options from FILE, one \"name = value\" per line with the long option names "
     "(default: /etc/cleanup-agent.conf when it exists)",
     CCommandLine::Section::kMain, [](const std::string& v, CHostOptions& o) { o.config = v; },
     false},
    {"output", 0, "FORMAT",
     "text: log lines and a summary on standard output; json: one JSON document on standard "
     "output at the end, the log lines on standard error (default: text)",
     CCommandLine::Section::kMain,
     [](const std::string& v, CHostOptions& o) {
         if (v != "text" && v != "json") {
             throw std::invalid_argument("--output: \"" + v + "\" is not text or json");
         }
         o.output = v == "json" ? CHostOptions::Output::kJson : CHostOptions::Output::kText;
     },
     true},
    {"metrics-file", 0, "FILE",
     "at the end of every run, a failed or refused one too, replace FILE with the run's "
     "figures in Prometheus's text format, for the node exporter's textfile collector; the "
     "last success time carries over from FILE's previous version (default: none)",
     CCommandLine::Section::kMain,
     [](const std::string& v, CHostOptions& o) { o.metricsFile = FileName(v, "metrics-file"); },
     true},
    {"quiet", 'q', nullptr, "write errors only (as --log-level 4)", CCommandLine::Section::kMain,
     [](const std::string& v, CHostOptions& o) {
         if (Flag(v, "quiet")) {
             o.logLevel = Common::Module::Error;
         }
     },
     true},
    {"verbose", 'v', nullptr,
     "write debug lines too: batches, row counts, where each setting came from (as --log-level "
     "1)",
     CCommandLine::Section::kMain,
     [](const std::string& v, CHostOptions& o) {
         if (Flag(v, "verbose")) {
             o.logLevel = Common::Module::Debug;
         }
     },
     true},
    {"log-level", 0, "N", "lowest level written: 1 debug, 2 info, 3 warning, 4 error (default: 2)",
     CCommandLine::Section::kMain, SetLevel, true},
    {"report", 0, nullptr,
     "describe the store instead of cleaning it, reading only: its size, tables, retention "
     "classes, what the next `all` would remove and the last runs (with --output json as one "
     "document); takes no operations and writes nothing",
     CCommandLine::Section::kMain,
     [](const std::string& v, CHostOptions& o) { o.report = Flag(v, "report"); }, false},
    {"dry-run", 0, nullptr,
     "run and report everything, rolling each batch back at once: the store is unchanged but for "
     "one row in its run history, no backup is written, and each operation's figures are what it "
     "would remove or free on its own",
     CCommandLine::Section::kMain,
     [](const std::string& v, CHostOptions& o) { o.dryRun = Flag(v, "dry-run"); }, true},
    {"installation-kind", 0, "N",
     "the installation kind; kind 1 sends status events and backs up the store (default: 1)",
     CCommandLine::Section::kMain,
     [](const std::string& v, CHostOptions& o) {
         o.installationKind = static_cast<std::int32_t>(CCommandLine::ParseNumber(
             v, kInt32Min, kInt32Max, "--installation-kind", "a 32-bit integer"));
     },
     true},
    {"installation-uuid", 0, "UUID",
     "the installation UUID (default: the store's setting installation_uuid, created on first "
     "use)",
     CCommandLine::Section::kMain,
     [](const std::string& v, CHostOptions& o) {
         o.installationUuid = CCommandLine::NormalizeUuid(v, "--installation-uuid");
     },
     true},
    {"retention", 0, "D1,D2,D3,D4,D5",
     "the retention periods of classes 1 to 5 in days, 0 to 65535 each (default: the store's "
     "settings retention_days_1 to retention_days_5, else 30,90,180,365,730)",
     CCommandLine::Section::kMain,
     [](const std::string& v, CHostOptions& o) {
         const std::vector<std::string> parts = Parts(v, 5, "retention", "five day counts");
         std::array<std::uint16_t, 5> days{};
         for (std::size_t i = 0; i < parts.size(); ++i) {
             days[i] = CCommandLine::ParseDays(parts[i], "--retention");
         }
         o.retentionDays = days;
     },
     true},
    {"request", 0, "UUID1,UUID2,UUID3", "the three UUIDs of the request (default: random)",
     CCommandLine::Section::kMain,
     [](const std::string& v, CHostOptions& o) {
         const std::vector<std::string> parts = Parts(v, 3, "request", "three UUIDs");
         std::array<std::string, 3> uuids;
         for (std::size_t i = 0; i < parts.size(); ++i) {
             uuids[i] = CCommandLine::NormalizeUuid(parts[i], "--request");
         }
         o.requestUuids = uuids;
     },
     true},
    {"seed-demo", 0, "ROWS",
     "first fill the store with a synthetic data set of about ROWS logs (default: no seeding)",
     CCommandLine::Section::kMain,
     [](const std::string& v, CHostOptions& o) {
         o.seedRows = static_cast<std::uint64_t>(CCommandLine::ParseNumber(
             v, 0, std::numeric_limits<std::int64_t>::max(), "--seed-demo", "a number of rows"));
     },
     true},
    {"batch-rows", 0, "N",
     "rows per delete batch and write transaction, 1 to 10000 (default: 10000)",
     CCommandLine::Section::kAdvanced,
     [](const std::string& v, CHostOptions& o) {
         o.batchRows = static_cast<std::size_t>(
             CCommandLine::ParseNumber(v, 1, static_cast<std::int64_t>(StoreOptions::kMaxBatchRows),
                                       "--batch-rows", "a number of rows from 1 to 10000"));
     },
     true},
    {"wait", 0, "SECONDS",
     "wait up to SECONDS for another cleanup-agent working on the same store (default: 0)",
     CCommandLine::Section::kAdvanced,
     [](const std::string& v, CHostOptions& o) {
         o.waitSeconds = static_cast<std::uint32_t>(CCommandLine::ParseNumber(
             v, 0, 86400, "--wait", "a number of seconds from 0 to 86400"));
     },
     true},
    {"busy-timeout", 0, "SECONDS",
     "how long a batch waits for another writer to release the store, retrying with back-off, "
     "0 to 86400 (default: 30)",
     CCommandLine::Section::kAdvanced,
     [](const std::string& v, CHostOptions& o) {
         o.busyTimeoutSeconds = static_cast<std::uint32_t>(CCommandLine::ParseNumber(
             v, 0, 86400, "--busy-timeout", "a number of seconds from 0 to 86400"));
     },
     true},
    {"lock-timeout", 0, "MS",
     "on PostgreSQL, how long a partition made or dropped waits for its lock before it gives "
     "way to the writers queued behind it and is tried again, until --busy-timeout; 1 to 60000 "
     "(default: 100)",
     CCommandLine::Section::kAdvanced,
     [](const std::string& v, CHostOptions& o) {
         o.lockTimeout = std::chrono::milliseconds(CCommandLine::ParseNumber(
             v, 1, StoreOptions::kMaxLockTimeout.count(), "--lock-timeout",
             "a number of milliseconds from 1 to 60000"));
     },
     true},
    {"allow-other-owner", 0, nullptr,
     "on PostgreSQL, clean a store even when its tables belong to a role other than the "
     "connecting one (default: refused; run as the store's owner, not as a superuser)",
     CCommandLine::Section::kAdvanced,
     [](const std::string& v, CHostOptions& o) {
         o.allowOtherOwner = Flag(v, "allow-other-owner");
     },
     true},
};

std::vector<CCommandLine::Option> AllOptions(const CCommandLine::Setup& setup) {
    std::vector<CCommandLine::Option> all = CCommandLine::Options();
    all.insert(all.end(), setup.testOptions.begin(), setup.testOptions.end());
    return all;
}

// `forConfig`: every value is text (a flag's too), and only the keys the
// file may hold.
po::options_description Description(const std::vector<CCommandLine::Option>& options,
                                    bool forConfig) {
    po::options_description description;
    for (const CCommandLine::Option& option : options) {
        if (forConfig && !option.inConfigFile) {
            continue;
        }
        const std::string name = option.shortName != 0 && !forConfig
                                     ? std::string(option.name) + "," + option.shortName
                                     : std::string(option.name);
        if (option.valueName != nullptr || forConfig) {
            description.add_options()(name.c_str(), po::value<std::string>(), "");
        } else {
            description.add_options()(name.c_str(), "");
        }
    }
    if (!forConfig) {
        description.add_options()("operation", po::value<std::vector<std::string>>(), "");
    }
    return description;
}

// Applies what one source gave, in the order of the table. `where` gives
// the prefix that places a bad value in its source ("FILE:LINE: " for a
// configuration file's key).
void Apply(const po::variables_map& values, const std::vector<CCommandLine::Option>& options,
           const std::string& source, const std::function<std::string(const char*)>& where,
           bool fromFile, CHostOptions& result) {
    const char* level = nullptr;  // the last of --quiet, --verbose, --log-level given
    for (const CCommandLine::Option& option : options) {
        if (values.count(option.name) == 0) {
            continue;
        }
        const po::variable_value& value = values[option.name];
        try {
            // A flag on the command line has no text; in the file it has one.
            option.apply(
                option.valueName == nullptr && !fromFile ? "true" : value.as<std::string>(),
                result);
        } catch (const std::invalid_argument& e) {
            throw std::invalid_argument(where(option.name) + e.what());
        }
        result.sources[option.name] = source;
        const std::string name = option.name;
        if (name == "quiet" || name == "verbose") {
            result.sources["log-level"] = source + ", --" + name;
        }
        if (name == "quiet" || name == "verbose" || name == "log-level") {
            if (level != nullptr) {
                throw std::invalid_argument(
                    where(option.name) + "--quiet, --verbose and --log-level exclude each other" +
                    (fromFile ? std::string() : " (" + source + ")"));
            }
            level = option.name;
        }
    }
}

// "; did you mean '--retention'?" for a near miss of a long option's name
// (with its dashes) or, `forConfig`, of a configuration key's; else nothing.
std::string Suggestion(const std::string& word, const std::vector<CCommandLine::Option>& options,
                       bool forConfig) {
    const std::string dashes = forConfig ? "" : "--";
    if (word.compare(0, dashes.size(), dashes) != 0 || word.size() <= dashes.size() + 1) {
        return std::string();  // a short option: one letter is too little to guess from
    }
    std::vector<std::string> names;
    for (const CCommandLine::Option& option : options) {
        if (!forConfig || option.inConfigFile) {
            names.push_back(option.name);
        }
    }
    const std::string near = CNearName::Of(word.substr(dashes.size()), names);
    return near.empty() ? std::string() : "; did you mean '" + dashes + near + "'?";
}

void ReadConfig(const std::string& path, const std::vector<CCommandLine::Option>& options,
                CHostOptions& result) {
    const CConfigFile file(path);
    std::istringstream content(file.Text());
    po::variables_map values;
    try {
        po::store(po::parse_config_file(content, Description(options, true), false), values);
    } catch (const po::unknown_option& e) {
        throw std::invalid_argument(file.Where(e.get_option_name()) + e.what() +
                                    Suggestion(e.get_option_name(), options, true));
    } catch (const po::multiple_occurrences& e) {
        throw std::invalid_argument(file.Where(e.get_option_name(), 1) + e.what());
    } catch (const po::invalid_config_file_syntax& e) {
        throw std::invalid_argument(file.Where("") + e.what());
    } catch (const po::error_with_option_name& e) {
        throw std::invalid_argument(file.Where(e.get_option_name()) + e.what());
    } catch (const po::error& e) {
        throw std::invalid_argument(file.Path() + ": " + e.what());
    }
    Apply(
        values, options, "configuration file " + path,
        [&file](const char* key) { return file.Where(key); }, true, result);
}

std::string OptionList(const CCommandLine::Setup& setup, CCommandLine::Section section) {
    std::string text;
    for (const CCommandLine::Option& option : AllOptions(setup)) {
        if (option.section != section) {
            continue;
        }
        std::string label = option.shortName != 0 ? std::string("  -") + option.shortName + ", --"
                                                  : std::string("      --");
        label += option.name;
        if (option.valueName != nullptr) {
            label += std::string(" ") + option.valueName;
        }
        text += CHelpText::Wrap(label, option.help);
    }
    return text;
}

}  // namespace

const std::vector<CCommandLine::Option>& CCommandLine::Options() {
    static const std::vector<Option> all = [] {
        std::vector<Option> options = kOptions;
        const std::vector<Option> sizes = CSizeLimitOptions::Options();
        options.insert(options.end(), sizes.begin(), sizes.end());
        return options;
    }();
    return all;
}

std::int64_t CCommandLine::ParseNumber(const std::string& text, std::int64_t low, std::int64_t high,
                                       const std::string& source, const std::string& what) {
    const char* begin = text.data() + (!text.empty() && text[0] == '+' ? 1 : 0);
    const char* end = text.data() + text.size();
    std::int64_t value = 0;
    const std::from_chars_result result = std::from_chars(begin, end, value);
    if (begin == end || result.ec != std::errc() || result.ptr != end || value < low ||
        value > high) {
        throw std::invalid_argument(source + ": \"" + text + "\" is not " + what);
    }
    return value;
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
        throw std::invalid_argument(option + ": \"" + text +
                                    "\" is not a UUID (expected 8-4-4-4-12 hexadecimal digits)");
    }
    return lower;
}

std::uint16_t CCommandLine::ParseDays(const std::string& text, const std::string& source) {
    return static_cast<std::uint16_t>(
        ParseNumber(text, 0, 65535, source, "a number of days from 0 to 65535"));
}

std::string CCommandLine::Version(const std::string& module) {
    // The plug-in's real path when it exists, without the program's "bin/..".
    std::string path = module;
    if (char* real = ::realpath(module.c_str(), nullptr)) {
        path = real;
        std::free(real);
    }
    return std::string("cleanup-agent ") + CLEANUP_AGENT_VERSION + "\nplug-in: " + path + "\n" +
           CStoreFactory::LibraryVersions();
}

std::string CCommandLine::Usage(const Setup& setup) {
    std::string text =
        "Usage: cleanup-agent [OPTION...] [--] [OPERATION...]\n"
        "\n"
        "Loads the cleanup plug-in, sends it one cleanup request with the given\n"
        "operations and lets it clean the agent's store (SQLite or PostgreSQL).\n"
        "\n"
        "Options:\n" +
        OptionList(setup, Section::kMain) + "\nAdvanced options:\n" +
        OptionList(setup, Section::kAdvanced);
    if (!setup.testOptions.empty()) {
        text += "\nTest options (test build only):\n" + OptionList(setup, Section::kTest);
    }
    std::string runOrder;
    for (const std::int32_t number : COperationCatalog::AllInRunOrder()) {
        runOrder += (runOrder.empty() ? "" : " ") + std::to_string(number);
    }
    text +=
        "\n"
        "Operations: a number, a name below (any case, '-' or '_'), or all\n"
        "(" +
        runOrder +
        "). Numbers pass to the module as they are; a negative\n"
        "number goes after \"--\". Without an operation the store is only opened (and\n"
        "created with --create).\n" +
        CHelpText::OperationTable() +
        "\n"
        "Configuration file: the long option names as keys, e.g. \"retention =\n"
        "30,90,180,365,730\" or \"dry-run = true\"; the command line wins over the file,\n"
        "the file over the store's settings, the settings over the defaults.\n"
        "\n"
        "Exit status:\n";
    // "  STATUS MEANING", the meaning's further lines under its first.
    const std::string indent(2 + 7, ' ');
    for (const ExitStatusMeaning& exit : kExitStatusMeanings) {
        std::string line = "  " + std::string(exit.status);
        line.resize(indent.size(), ' ');
        for (const char* c = exit.meaning; *c != '\0'; ++c) {
            line += *c == '\n' ? "\n" + indent : std::string(1, *c);
        }
        text += line + "\n";
    }
    return text;
}

CHostOptions CCommandLine::Parse(const std::vector<std::string>& arguments, const Setup& setup) {
    const std::vector<Option> options = AllOptions(setup);
    po::positional_options_description positional;
    positional.add("operation", -1);
    po::variables_map values;
    try {
        po::store(
            po::command_line_parser(arguments)
                .options(Description(options, false))
                .positional(positional)
                .style(po::command_line_style::unix_style & ~po::command_line_style::allow_guessing)
                .run(),
            values);
    } catch (const po::unknown_option& e) {
        throw std::invalid_argument(e.what() + Suggestion(e.get_option_name(), options, false));
    } catch (const po::error& e) {
        throw std::invalid_argument(e.what());
    }
    const auto onCommandLine = [](const char*) { return std::string(); };

    CHostOptions result;
    result.module = setup.defaultModule;
    CHostOptions given;
    Apply(values, options, "command line", onCommandLine, false, given);
    if (given.help || given.version) {
        given.module = values.count("module")
                           ? CPluginFolder::Find(given.module, setup.defaultModule)
                           : setup.defaultModule;
        return given;
    }
    const std::string config =
        values.count("config") ? values["config"].as<std::string>()
        : !setup.defaultConfig.empty() && ::access(setup.defaultConfig.c_str(), F_OK) == 0
            ? setup.defaultConfig
            : std::string();
    if (!config.empty()) {
        ReadConfig(config, options, result);
    }
    Apply(values, options, "command line", onCommandLine, false, result);
    if (result.sources.count("module") != 0) {
        result.module = CPluginFolder::Find(result.module, setup.defaultModule);
    }
    result.config = config;
    if (values.count("operation")) {
        for (const std::string& word : values["operation"].as<std::vector<std::string>>()) {
            const std::vector<std::int32_t> operations = COperationCatalog::Parse(word);
            result.operations.insert(result.operations.end(), operations.begin(), operations.end());
        }
    }
    if (result.report &&
        (!result.operations.empty() || result.seedRows || given.create || given.dryRun)) {
        // A report only reads: what would run or write has no place in it.
        throw std::invalid_argument(
            "--report takes no operations and no --seed-demo, --create or --dry-run");
    }
    if (result.dryRun && result.seedRows) {
        // A dry run rolls back every transaction at once: nothing seeded would stay.
        throw std::invalid_argument("--dry-run and --seed-demo exclude each other");
    }
    CSizeLimitOptions::Check(result);
    return result;
}

}  // namespace Host
}  // namespace Kol
