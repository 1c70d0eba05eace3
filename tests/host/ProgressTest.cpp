#include "host/Progress.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "tests/host/HostCall.h"
#include "tools/host/FilterHost.h"

namespace {

using vexo::filterhost::FilterHost;
using vexo::filterhost::HostFaults;
using vexo::filterhost::HostImage;
using Reports = std::vector<std::pair<int32_t, int32_t>>;

class Progress : public ::testing::Test {
protected:
    FilterHost host{HostImage(4, 4, 1, 8)};
    HostCall call{host};
};

// A run as the host sees it: the start handler switches reporting on, the
// correction begins with planes x rows steps, steps once per row and ends after
// the last plane; a run that fails after some rows never ends its report, and the
// start handler's finish then completes it.
void RunReports(int32_t planes, int32_t rows, int32_t failAfterRows) {
    UpdateProgress(ProgressOpEnable);
    ReportHostProgress(CAProgressStart, planes * rows);
    const bool failed = failAfterRows >= 0;
    const int32_t rowsDone = failed ? failAfterRows : planes * rows;
    for (int32_t row = 0; row < rowsDone; ++row) {
        ReportHostProgress(CAProgressStep, 1);
    }
    if (!failed) {
        ReportHostProgress(CAProgressEnd, 0);
    }
    UpdateProgress(ProgressOpFinish);
    UpdateProgress(ProgressOpDisable);
}

TEST_F(Progress, RunsReportEveryStepOnceAndCompleteOnFailure) {
    struct Case {
        const char* name;
        int32_t failAfterRows;
        Reports expected;
    };
    const Case cases[] = {
        {"successful run", -1, {{0, 6}, {1, 6}, {2, 6}, {3, 6}, {4, 6}, {5, 6}, {6, 6}, {6, 6}}},
        {"fails in the second plane's request after 3 rows",
         3,
         {{0, 6}, {1, 6}, {2, 6}, {3, 6}, {3, 6}, {4, 6}, {5, 6}, {6, 6}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        host.ClearLogs();
        RunReports(2, 3, c.failAfterRows);
        EXPECT_EQ(host.ProgressReports(), c.expected);
        EXPECT_FALSE(gProgressState.enabled);
        EXPECT_EQ(gProgressState.done, 7);
    }
}

TEST_F(Progress, OperationsMoveTheCountsAndReportOnlyWhileEnabled) {
    struct Case {
        const char* name;
        std::function<void()> script;
        Reports expected;
        ProgressState after;
    };
    const std::vector<Case> cases = {
        {"steps while off change nothing",
         [] {
             UpdateProgress(ProgressOpBegin, 100);
             for (int i = 0; i < 3; ++i) {
                 UpdateProgress(ProgressOpStep);
             }
         },
         {},
         {false, 100, 0}},
        {"a step once on reports",
         [] {
             UpdateProgress(ProgressOpBegin, 100);
             UpdateProgress(ProgressOpEnable);
             UpdateProgress(ProgressOpStep);
         },
         {{1, 100}},
         {true, 100, 1}},
        {"no step past the total",
         [] {
             UpdateProgress(ProgressOpEnable);
             UpdateProgress(ProgressOpBegin, 1);
             UpdateProgress(ProgressOpStep);
             UpdateProgress(ProgressOpStep);
         },
         {{0, 1}, {1, 1}},
         {true, 1, 1}},
        {"finish of an empty report reports (0, 0) once more",
         [] {
             UpdateProgress(ProgressOpEnable);
             UpdateProgress(ProgressOpBegin, 0);
             UpdateProgress(ProgressOpFinish);
         },
         {{0, 0}, {0, 0}},
         {true, 0, 1}},
        {"finish while off still passes the total",
         [] {
             UpdateProgress(ProgressOpBegin, 4);
             UpdateProgress(ProgressOpFinish);
             UpdateProgress(ProgressOpEnable);
             UpdateProgress(ProgressOpFinish);
         },
         {},
         {true, 4, 5}},
        {"set done and add to the total report",
         [] {
             UpdateProgress(ProgressOpEnable);
             UpdateProgress(ProgressOpSetDone, 5);
             UpdateProgress(ProgressOpAddTotal, 10);
         },
         {{5, 0}, {5, 10}},
         {true, 10, 5}},
        {"unknown operations are ignored",
         [] {
             UpdateProgress(ProgressOpEnable);
             UpdateProgress(ProgressOpBegin, 10);
             UpdateProgress(static_cast<ProgressOp>(7), 3);
             UpdateProgress(static_cast<ProgressOp>(-1), 3);
         },
         {{0, 10}},
         {true, 10, 0}},
        {"steps of none or fewer, and unknown stages, do nothing",
         [] {
             UpdateProgress(ProgressOpEnable);
             ReportHostProgress(CAProgressStart, 10);
             ReportHostProgress(CAProgressStep, 0);
             ReportHostProgress(CAProgressStep, -5);
             ReportHostProgress(static_cast<CAProgressStage>(3), 10);
             ReportHostProgress(static_cast<CAProgressStage>(-1), 10);
         },
         {{0, 10}},
         {true, 10, 0}},
        {"a step of several counts each",
         [] {
             UpdateProgress(ProgressOpEnable);
             ReportHostProgress(CAProgressStart, 5);
             ReportHostProgress(CAProgressStep, 3);
         },
         {{0, 5}, {1, 5}, {2, 5}, {3, 5}},
         {true, 5, 3}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        gProgressState = ProgressState{false, 0, 0};
        host.ClearLogs();
        c.script();
        EXPECT_EQ(host.ProgressReports(), c.expected);
        EXPECT_EQ(gProgressState.enabled, c.after.enabled);
        EXPECT_EQ(gProgressState.total, c.after.total);
        EXPECT_EQ(gProgressState.done, c.after.done);
    }
}

// The repetition of a step is not held to 16 bits, and a count beyond the total
// ends at the total.
TEST_F(Progress, LargeStepCountsAdvanceToTheTotal) {
    UpdateProgress(ProgressOpBegin, 50000);
    UpdateProgress(ProgressOpEnable);
    ReportHostProgress(CAProgressStep, 40000);
    EXPECT_EQ(gProgressState.done, 40000);
    ReportHostProgress(CAProgressStep, 0x7FFFFFFF);
    EXPECT_EQ(gProgressState.done, 50000);
    EXPECT_EQ(host.ProgressReports().size(), 50000u);  // begun while off
}

// A record without progressProc while reporting is on: no call through null, and
// the counts move as they would.
TEST_F(Progress, MissingProgressProcSkipsReportsOnly) {
    HostFaults faults;
    faults.noProgressProc = true;
    host.SetFaults(faults);
    RunReports(2, 3, -1);
    EXPECT_TRUE(host.ProgressReports().empty());
    EXPECT_EQ(gProgressState.done, 7);
    EXPECT_EQ(gProgressState.total, 6);
}

}  // namespace
