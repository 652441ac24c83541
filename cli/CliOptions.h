// The command line of marrowglen-cli. Options may stand anywhere among the address and the
// names; "--" ends the options, and a lone "-" is a name like any other.
#pragma once

#include <optional>
#include <string>
#include <vector>

enum class CliCommand { None, List, Test, Extract, Cat, Save, Help, Version };

// What to do with a file that exists already (extract).
enum class OverwritePolicy { Ask, Always, Never };

struct CliOptions {
    CliCommand command = CliCommand::None;
    std::string url;
    std::vector<std::string> names; // entry names; for save, the one local file
    std::string destination = ".";
    OverwritePolicy overwrite = OverwritePolicy::Ask;
    bool quiet = false;
    bool tsv = false;
    // -u USER[:PASSWORD] and -U USER[:PASSWORD] as written (the password may be asked later).
    std::optional<std::string> user;
    std::optional<std::string> proxyUser;
    bool verbose = false;                // list: a method column
    std::optional<std::string> password; // -P
};

struct CliParseResult {
    std::optional<CliOptions> options;
    std::string error; // set when options is empty
};

CliParseResult parseCommandLine(const std::vector<std::string>& args);
const char* usageText();
