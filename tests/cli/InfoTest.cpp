#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "tests/cli/ToolRunner.h"
#include "tools/host/ToolError.h"

namespace vexo::hosttool {
namespace {

using testing::RunTool;

// A labelled line of the report, whatever the padding.
::testing::AssertionResult HasLine(const std::string& text, const std::string& label,
                                   const std::string& value) {
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind(label + ":", 0) != 0) {
            continue;
        }
        const size_t start = line.find_first_not_of(' ', label.size() + 1);
        if (start != std::string::npos && start > label.size() + 1 && line.substr(start) == value) {
            return ::testing::AssertionSuccess();
        }
    }
    return ::testing::AssertionFailure() << "no line '" << label << ": " << value << "' in\n"
                                         << text;
}

TEST(Info, ShowsWhatAHostReadsFromThePropertyList) {
    const testing::ToolRun run = RunTool({"info"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, "");
    const std::string& out = run.out;
    EXPECT_TRUE(HasLine(out, "Plug-in", VEXO_PLUGIN));
    EXPECT_TRUE(HasLine(out, "Property list", "version 0, 11 properties"));
    EXPECT_TRUE(HasLine(out, "Kind", "8BFM (filter)"));
    EXPECT_TRUE(HasLine(out, "Name", "Pellion 3 (Cropped) [x64] v1.2.5"));
    EXPECT_TRUE(HasLine(out, "Category", "Corvane Inc"));
    EXPECT_TRUE(HasLine(out, "Interface version", "4.0"));
    EXPECT_TRUE(HasLine(out, "Entry point (x64)", "PluginMain"));
    EXPECT_TRUE(HasLine(out, "Image modes", "grayscale, RGB, CMYK, multichannel, Lab"));
    EXPECT_TRUE(HasLine(out, "Enable expression",
                        "in (PSHOP_ImageMode, RGBMode, RGB48Mode,CMYKMode, CMYK64Mode,"
                        "GrayScaleMode, GrayScale16Mode,LabMode, Lab48Mode, MultichannelMode ) "
                        "||PSHOP_ImageDepth == 16"));
    EXPECT_TRUE(HasLine(out, "Maximum size", "2000000 x 2000000 pixels"));
    EXPECT_TRUE(HasLine(out, "Filter layers", "supported"));
    EXPECT_TRUE(HasLine(out, "Scripting",
                        "class zVrp, event zVrp, terminology resource 16003, scope "
                        "{A107BD7E-9A2D-4af7-9E85-65C1CDB85D78}"));
    for (const char* filterCase :
         {"flat image without selection", "flat image with selection", "floating selection",
          "editable transparency without selection", "editable transparency with selection",
          "protected transparency without selection", "protected transparency with selection"}) {
        EXPECT_TRUE(HasLine(out, std::string("  ") + filterCase,
                            "input straight data, output straight data, no options"));
    }
}

TEST(Info, SaysWhenThereIsNoPropertyListToRead) {
    const testing::ToolRun run = RunTool({"info", "--plugin", VEXO_FAILING_PLUGIN});
    EXPECT_EQ(run.exitCode, kExitPluginUnavailable);
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find("has no property list (looked for "), std::string::npos) << run.err;
}

TEST(Help, ListsTheCommandsAndTheirOptions) {
    const testing::ToolRun top = RunTool({"--help"});
    EXPECT_EQ(top.exitCode, 0);
    EXPECT_NE(top.out.find("Usage: vexo-host"), std::string::npos) << top.out;
    EXPECT_NE(top.out.find("correct"), std::string::npos);
    EXPECT_NE(top.out.find("info"), std::string::npos);
    const testing::ToolRun correct = RunTool({"correct", "--help"});
    EXPECT_EQ(correct.exitCode, 0);
    for (const char* option : {"INPUT", "OUTPUT", "--plugin", "--selection", "--quiet"}) {
        EXPECT_NE(correct.out.find(option), std::string::npos) << option;
    }
}

}  // namespace
}  // namespace vexo::hosttool
