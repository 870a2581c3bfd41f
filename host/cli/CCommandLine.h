#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/cli/CHostOptions.h"

namespace Kol {
namespace Host {

// The host's command line and configuration file (Boost.Program_options).
//
// Every option is one entry of one table (Options()): the source of the
// parser, of --help and of the configuration file's keys, which are the long
// option names. A value on the command line wins over the configuration
// file's; the host then falls back to the store's settings and to the
// built-in defaults.
//
// Every function is thread-safe. Usage errors (bad words, bad values, an
// unreadable or bad configuration file) throw std::invalid_argument with a
// one-line message naming the culprit.
class CCommandLine {
public:
    enum class Section { kMain, kAdvanced, kTest };

    // One option. `apply` checks the value (the text after the option, the
    // configuration file's value, or "true" for a flag on the command line)
    // and stores it; it throws std::invalid_argument.
    struct Option {
        const char* name;       // long name, also the configuration key
        char shortName;         // 0 when none
        const char* valueName;  // nullptr for a flag
        const char* help;       // one sentence, wrapped by Usage
        Section section;
        void (*apply)(const std::string& value, CHostOptions& options);
        bool inConfigFile;  // false for --help, --version and --config
    };

    // What the program brings along: the default plug-in (whose folder a
    // bare --module NAME is looked for in, see CPluginFolder::Find) and
    // configuration file (used when it exists; empty for none) and, in a test
    // build only, the test options (Section::kTest).
    struct Setup {
        std::string defaultModule;
        std::string defaultConfig;
        std::vector<Option> testOptions;
    };

    // Every option of the product, in the order of --help.
    static const std::vector<Option>& Options();

    // `arguments` excludes the program name. With --help or --version the
    // configuration file is not read. A mistake in the configuration file is
    // told as "FILE:LINE: ..."; an unknown option or key near a known one
    // gets "; did you mean '--NAME'?".
    static CHostOptions Parse(const std::vector<std::string>& arguments, const Setup& setup);

    // The --help text: every option, the operations, the configuration
    // file and the exit statuses; lines within 80 columns.
    static std::string Usage(const Setup& setup);
    // The --version text: program version, plug-in, SQLite library.
    static std::string Version(const std::string& module);

    // A UUID in its 8-4-4-4-12 hexadecimal text form, either case; returns it
    // in lower case. `option` names the source in the message.
    static std::string NormalizeUuid(const std::string& text, const std::string& option);

    // A number of days from 0 to 65535; `source` names it in the message.
    static std::uint16_t ParseDays(const std::string& text, const std::string& source);

    // An integer from `low` to `high` in decimal (a leading + allowed);
    // otherwise throws std::invalid_argument "<source>: "<text>" is not
    // <what>".
    static std::int64_t ParseNumber(const std::string& text, std::int64_t low, std::int64_t high,
                                    const std::string& source, const std::string& what);
};

}  // namespace Host
}  // namespace Kol
