#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "tools/host/CommandLine.h"
#include "tools/host/ToolError.h"

namespace vexo::hosttool {
namespace {

struct Parsed {
    CommandLine command;
    std::string out;
    std::string err;
};

Parsed Parse(std::vector<const char*> args) {
    args.insert(args.begin(), "vexo-host");
    std::ostringstream out;
    std::ostringstream err;
    Parsed parsed{ParseCommandLine(args, out, err), "", ""};
    parsed.out = out.str();
    parsed.err = err.str();
    return parsed;
}

TEST(CommandLine, ReadsSelections) {
    EXPECT_EQ(ParseSelection("0,0,24,24"), (Selection{0, 0, 24, 24}));
    EXPECT_EQ(ParseSelection("10,20,300,400"), (Selection{10, 20, 300, 400}));
    for (const char* bad :
         {"", "1,2,3", "1,2,3,4,5", "0,0,24,x", "0,0,24,24,", "-1,0,24,24", "0, 0,24,24",
          "5,0,5,24", "0,9,24,8", "0;0;24;24", "0,0,99999999999,24"}) {
        EXPECT_FALSE(ParseSelection(bad).has_value()) << bad;
    }
}

TEST(CommandLine, ParsesTheCorrectCommand) {
    const Parsed plain = Parse({"correct", "in.png", "out.png"});
    ASSERT_EQ(plain.command.action, CommandLine::Action::Correct);
    EXPECT_EQ(plain.command.correct.input, "in.png");
    EXPECT_EQ(plain.command.correct.output, "out.png");
    EXPECT_EQ(plain.command.correct.plugin, "");
    EXPECT_FALSE(plain.command.correct.selection);
    EXPECT_FALSE(plain.command.correct.quiet);

    const Parsed full = Parse(
        {"correct", "--quiet", "--plugin", "p.so", "in.tif", "--selection=1,2,30,40", "out.tif"});
    ASSERT_EQ(full.command.action, CommandLine::Action::Correct);
    EXPECT_EQ(full.command.correct.input, "in.tif");
    EXPECT_EQ(full.command.correct.output, "out.tif");
    EXPECT_EQ(full.command.correct.plugin, "p.so");
    EXPECT_EQ(full.command.correct.selection, (Selection{1, 2, 30, 40}));
    EXPECT_TRUE(full.command.correct.quiet);
    EXPECT_TRUE(Parse({"correct", "-q", "a", "b"}).command.correct.quiet);
}

TEST(CommandLine, ParsesTheInfoCommand) {
    EXPECT_EQ(Parse({"info"}).command.action, CommandLine::Action::Info);
    const Parsed named = Parse({"info", "--plugin", "p.so"});
    EXPECT_EQ(named.command.action, CommandLine::Action::Info);
    EXPECT_EQ(named.command.info.plugin, "p.so");
}

TEST(CommandLine, ShowsHelpAndVersionOnStandardOutput) {
    for (const std::vector<const char*>& args : {std::vector<const char*>{"--help"},
                                                 {"-h"},
                                                 {"correct", "--help"},
                                                 {"info", "-h"},
                                                 {"--version"}}) {
        const Parsed parsed = Parse(args);
        EXPECT_EQ(parsed.command.action, CommandLine::Action::Exit) << args.back();
        EXPECT_EQ(parsed.command.exitCode, 0) << args.back();
        EXPECT_NE(parsed.out, "") << args.back();
        EXPECT_EQ(parsed.err, "") << args.back();
    }
    EXPECT_NE(Parse({"correct", "--help"}).out.find("--selection"), std::string::npos);
    EXPECT_NE(Parse({"--help"}).out.find("Exit codes"), std::string::npos);
}

TEST(CommandLine, HelpListsEveryExitCode) {
    const std::string help = Parse({"--help"}).out;
    const size_t start = help.find("Exit codes:");
    ASSERT_NE(start, std::string::npos) << help;
    std::string codes = help.substr(start, help.find("\n\n", start) - start);
    std::replace(codes.begin(), codes.end(), '\n', ' ');
    for (int code = kExitOk; code <= kExitThreadsRefused; ++code) {
        const std::string listed = (code == kExitOk ? ": " : ", ") + std::to_string(code) + " ";
        EXPECT_NE(codes.find(listed), std::string::npos) << code << " in " << codes;
    }
}

TEST(CommandLine, RefusesWhatMakesNoSenseInOneLine) {
    for (const std::vector<const char*>& args : {
             std::vector<const char*>{},
             {"fix", "a", "b"},
             {"correct"},
             {"correct", "in.png"},
             {"correct", "a", "b", "c"},
             {"correct", "a", ""},
             {"correct", "a", "b", "--selection"},
             {"correct", "a", "b", "--selection", "1,2,3"},
             {"correct", "a", "b", "--selection", ""},
             {"correct", "a", "b", "--frobnicate"},
             {"correct", "a", "b", "--plugin", ""},
             {"correct", "--plugin=", "a", "b"},
             {"info", "extra"},
             {"info", "--plugin", ""},
         }) {
        const Parsed parsed = Parse(args);
        const std::string shown = args.empty() ? "(nothing)" : args.back();
        EXPECT_EQ(parsed.command.action, CommandLine::Action::Exit) << shown;
        EXPECT_EQ(parsed.command.exitCode, kExitUsage) << shown;
        EXPECT_EQ(parsed.out, "") << shown;
        ASSERT_FALSE(parsed.err.empty()) << shown;
        EXPECT_EQ(parsed.err.rfind("vexo-host: ", 0), 0u) << parsed.err;
        EXPECT_EQ(parsed.err.find('\n'), parsed.err.size() - 1) << parsed.err;
    }
}

}  // namespace
}  // namespace vexo::hosttool
