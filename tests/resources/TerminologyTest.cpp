#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "BuiltResources.h"
#include "ResourceReader.h"

namespace vexo::test {
namespace {

class TerminologyTest : public testing::Test {
protected:
    void SetUp() override {
        bytes = BuiltTerminology();
        terminology = ParseTerminology(bytes);
    }

    Bytes bytes;
    Terminology terminology;
};

TEST_F(TerminologyTest, OneSuiteAndNothingAfterIt) {
    EXPECT_EQ(terminology.leadingWord, 1);
    EXPECT_EQ(terminology.majorVersion, 1);
    EXPECT_EQ(terminology.minorVersion, 0);
    EXPECT_EQ(terminology.language, 0);
    EXPECT_EQ(terminology.script, 0);
    ASSERT_EQ(terminology.suites.size(), 1u);
    EXPECT_EQ(terminology.unread, 0u);

    // Fields follow one another unpadded: the suite name's length byte is at 10.
    ASSERT_GE(bytes.size(), 11u);
    EXPECT_EQ(bytes[10], 11);
}

TEST_F(TerminologyTest, SuiteHasOneEventAndNoClassOperatorOrEnumeration) {
    ASSERT_EQ(terminology.suites.size(), 1u);
    const ScriptSuite& suite = terminology.suites[0];
    EXPECT_EQ(suite.name, "Corvane Inc");
    EXPECT_EQ(suite.description, "Undistorts images captured with wide angle lenses");
    EXPECT_EQ(suite.id, "zVrp");
    EXPECT_EQ(suite.level, 1);
    EXPECT_EQ(suite.version, 1);
    EXPECT_EQ(suite.events.size(), 1u);
    EXPECT_EQ(suite.classes, 0);
    EXPECT_EQ(suite.comparisonOperators, 0);
    EXPECT_EQ(suite.enumerations, 0);
}

TEST_F(TerminologyTest, EventTakesAnImageAndRepliesNothing) {
    ASSERT_EQ(terminology.suites.size(), 1u);
    ASSERT_EQ(terminology.suites[0].events.size(), 1u);
    const ScriptEvent& event = terminology.suites[0].events[0];
    EXPECT_EQ(event.name, "Pellion 3 (Cropped) [x64] v1.2.5");
    EXPECT_EQ(event.description, "Undistorts images captured with wide angle lenses");
    EXPECT_EQ(event.eventClass, "zVrp");
    EXPECT_EQ(event.id, "zVrp");

    EXPECT_EQ(event.replyType, "null");
    EXPECT_EQ(event.replyDescription, "");
    EXPECT_EQ(event.replyFlags, 0);

    EXPECT_EQ(event.directParameterType, "#ImR");
    EXPECT_EQ(event.directParameterDescription, "");
    EXPECT_EQ(event.directParameterFlags, 0xB000);
    EXPECT_TRUE(event.directParameterFlags & 1u << 15) << "optional";
    EXPECT_TRUE(event.directParameterFlags & 1u << 13) << "enumerated";
    EXPECT_TRUE(event.directParameterFlags & 1u << 12) << "changes state";
}

TEST_F(TerminologyTest, ThreeRequiredFloatingPointParameters) {
    ASSERT_EQ(terminology.suites.size(), 1u);
    ASSERT_EQ(terminology.suites[0].events.size(), 1u);
    const auto& parameters = terminology.suites[0].events[0].parameters;
    struct Expected {
        const char* name;
        const char* key;
    };
    const Expected expected[] = {{"Height", "Amnt"}, {"Width", "Brgh"}, {"Sharpness", "Fltn"}};
    ASSERT_EQ(parameters.size(), std::size(expected));
    for (std::size_t i = 0; i < parameters.size(); ++i) {
        EXPECT_EQ(parameters[i].name, expected[i].name);
        EXPECT_EQ(parameters[i].key, expected[i].key) << expected[i].name;
        EXPECT_EQ(parameters[i].type, "doub") << expected[i].name;
        EXPECT_EQ(parameters[i].description, expected[i].name);
        EXPECT_EQ(parameters[i].flags, 0) << expected[i].name << ": required, single item";
    }
}

}  // namespace
}  // namespace vexo::test
