#include "cli/CliOptions.h"

#include <gtest/gtest.h>

namespace {

CliOptions parsed(const std::vector<std::string>& args) {
    auto result = parseCommandLine(args);
    EXPECT_TRUE(result.options.has_value()) << result.error;
    return result.options.value_or(CliOptions{});
}

std::string errorOf(const std::vector<std::string>& args) {
    auto result = parseCommandLine(args);
    EXPECT_FALSE(result.options.has_value());
    return result.error;
}

TEST(CliOptions, OptionsMayStandBeforeOrAfterTheAddressAndNames) {
    for (const auto& args :
         std::vector<std::vector<std::string>>{{"extract", "h/a.zip", "x.txt", "-d", "out", "-o"},
                                               {"extract", "-o", "-d", "out", "h/a.zip", "x.txt"},
                                               {"-o", "extract", "h/a.zip", "-dout", "x.txt"}}) {
        CliOptions o = parsed(args);
        EXPECT_EQ(o.command, CliCommand::Extract);
        EXPECT_EQ(o.url, "h/a.zip");
        EXPECT_EQ(o.names, std::vector<std::string>{"x.txt"});
        EXPECT_EQ(o.destination, "out");
        EXPECT_EQ(o.overwrite, OverwritePolicy::Always);
    }
}

TEST(CliOptions, NamesAreTakenAsTheyStand) {
    CliOptions o = parsed({"test", "h/a.zip", "-", "a b.txt", "--", "-q", "--tsv"});
    EXPECT_EQ(o.names, (std::vector<std::string>{"-", "a b.txt", "-q", "--tsv"}));
    EXPECT_FALSE(o.quiet);
    EXPECT_EQ(parsed({"cat", "h/a.zip", "-"}).names, std::vector<std::string>{"-"});
}

TEST(CliOptions, UsageErrorsAreNamed) {
    EXPECT_EQ(errorOf({}), "no command given");
    EXPECT_EQ(errorOf({"lsit", "h/a.zip"}), "unknown command lsit");
    EXPECT_EQ(errorOf({"list"}), "no archive address given");
    EXPECT_EQ(errorOf({"list", "h/a.zip", "-x"}), "unknown option -x");
    EXPECT_EQ(errorOf({"extract", "h/a.zip", "-d"}), "option -d needs a folder");
    EXPECT_EQ(errorOf({"cat", "h/a.zip"}), "cat takes exactly one entry name");
    EXPECT_EQ(errorOf({"save", "h/a.zip", "a", "b"}), "save takes exactly one local file name");
    EXPECT_EQ(errorOf({"test", "h/a.zip", "--tsv"}), "--tsv belongs to list");
}

TEST(CliOptions, HelpAndVersionNeedNothingElse) {
    EXPECT_EQ(parsed({"--help"}).command, CliCommand::Help);
    EXPECT_EQ(parsed({"list", "--version"}).command, CliCommand::Version);
    EXPECT_EQ(parsed({"-n", "extract", "u"}).overwrite, OverwritePolicy::Never);
}

} // namespace
