#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "correction/ThreadCount.h"
#include "platform/Platform.h"
#include "tests/correction/StubbedServices.h"

#if !defined(_WIN32)
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#endif

namespace {

using vexo::platform::CoreQueryStatus;
using vexo::testing::StubbedServices;

const std::vector<std::string> kAllMarkers = {"c:\\1Core", "c:\\2Core", "c:\\3Core", "c:\\4Core",
                                              "c:\\5Core", "c:\\6Core", "c:\\7Core", "c:\\8Core"};

TEST(GetProcessorCoreCount, PhysicalCoresWithoutMarkers) {
    for (int32_t cores : {1, 4, 6, 64}) {
        StubbedServices services(cores);
        EXPECT_EQ(GetProcessorCoreCount(), cores);
        EXPECT_EQ(services.QueriedPaths(), kAllMarkers) << "every marker, in order";
    }
}

TEST(GetProcessorCoreCount, QueryReportingNoCoreGivesOneThread) {
    StubbedServices services(0);
    EXPECT_EQ(GetProcessorCoreCount(), 1);
}

TEST(GetProcessorCoreCount, FirstExistingMarkerWins) {
    struct Case {
        std::vector<std::string> markers;
        int32_t cores;
        int expected;
    };
    const Case cases[] = {
        {{"c:\\3Core", "c:\\5Core"}, 16, 3},
        {{"c:\\8Core"}, 2, 8},
        {{"c:\\1Core", "c:\\8Core"}, 4, 1},
        {{"c:\\5Core"}, 0, 5},
        // Other numbers are no markers.
        {{"c:\\0Core", "c:\\9Core", "c:\\16Core", "c:\\10Core"}, 6, 6},
    };
    for (const Case& c : cases) {
        StubbedServices services(c.cores);
        for (const std::string& marker : c.markers) {
            services.AddPath(marker);
        }
        EXPECT_EQ(GetProcessorCoreCount(), c.expected) << c.markers.front();
    }
}

TEST(GetProcessorCoreCount, StopsAtTheFirstMarker) {
    StubbedServices services(4);
    services.AddPath("c:\\2Core");
    services.AddPath("c:\\3Core");
    EXPECT_EQ(GetProcessorCoreCount(), 2);
    EXPECT_EQ(services.QueriedPaths(), (std::vector<std::string>{"c:\\1Core", "c:\\2Core"}));
}

// A failed query has its fixed count, and then no marker is even looked at.
TEST(GetProcessorCoreCount, FailedQueryGivesItsFixedCountAndIgnoresMarkers) {
    struct Case {
        CoreQueryStatus status;
        int expected;
    };
    for (const Case c : {Case{CoreQueryStatus::Unavailable, 1},
                         Case{CoreQueryStatus::OutOfMemory, 2}, Case{CoreQueryStatus::Failed, 3}}) {
        StubbedServices services;
        services.SetQuery(c.status, 12);
        for (const std::string& marker : kAllMarkers) {
            services.AddPath(marker);
        }
        EXPECT_EQ(GetProcessorCoreCount(), c.expected);
        EXPECT_TRUE(services.QueriedPaths().empty());
    }
}

TEST(GetProcessorCoreCount, SystemQueryGivesAtLeastOneThread) {
    StubbedServices services;
    vexo::platform::CurrentServices().queryPhysicalCores =
        vexo::platform::SystemServices().queryPhysicalCores;
    const int count = GetProcessorCoreCount();
    EXPECT_GE(count, 1);
    const vexo::platform::CoreQueryResult query = vexo::platform::QueryPhysicalCores();
    if (query.status == CoreQueryStatus::Ok && query.cores > 0) {
        EXPECT_EQ(count, query.cores);
    }
}

#if !defined(_WIN32)
// Natively the marker names are tested as they stand, relative to the working directory: made
// here in a directory of the test's own, a file counts as well as a folder.
class RealMarkerTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/vexo-markers-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        directory_ = pattern;
        ASSERT_NE(getcwd(previous_, sizeof(previous_)), nullptr);
        ASSERT_EQ(chdir(directory_.c_str()), 0);
        services_.UseRealPaths();
    }

    void TearDown() override {
        for (const std::string& marker : kAllMarkers) {
            std::remove(marker.c_str());
            rmdir(marker.c_str());
        }
        EXPECT_EQ(chdir(previous_), 0);
        rmdir(directory_.c_str());
    }

    StubbedServices services_{4};
    std::string directory_;
    char previous_[4096] = {};
};

TEST_F(RealMarkerTest, FileOrFolderForcesItsDigit) {
    EXPECT_EQ(GetProcessorCoreCount(), 4);
    std::FILE* file = std::fopen("c:\\6Core", "w");
    ASSERT_NE(file, nullptr);
    std::fclose(file);
    EXPECT_EQ(GetProcessorCoreCount(), 6);
    ASSERT_EQ(mkdir("c:\\2Core", 0700), 0);
    EXPECT_EQ(GetProcessorCoreCount(), 2);
}
#endif

}  // namespace
