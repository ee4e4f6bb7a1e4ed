#include "core/removal/process_ender.h"

#include <gtest/gtest.h>

#include "fakes/fake_platform.h"

namespace pellora {
namespace {

class ProcessEnderTest : public ::testing::Test {
  protected:
    fakes::FakePlatform platform;
    ProcessEnder ender{platform.processes, platform.clock, platform.ui};
    fakes::FakeProcesses& processes = platform.processes;
};

TEST_F(ProcessEnderTest, AsksEveryTopLevelWindowToCloseAndDoesNotTerminateWhatCloses) {
    processes.Add("spy.exe", 100, 2);
    EXPECT_TRUE(ender.EndProcess(100, 0));
    EXPECT_EQ(processes.posted, (std::vector<std::pair<uint32_t, uint32_t>>{{100, kWmClose}, {100, kWmClose}}));
    EXPECT_TRUE(processes.terminated.empty());
}

TEST_F(ProcessEnderTest, TerminatesAProcessThatIgnoresTheRequestOnlyAfterTheWait) {
    processes.Add("stubborn.exe", 101, 1, false);
    EXPECT_TRUE(ender.EndProcess(101, 0));
    EXPECT_EQ(processes.posted.size(), 1u);
    EXPECT_EQ(processes.terminated, std::vector<uint32_t>{101});
    EXPECT_GE(platform.clock.ms, kCloseWaitMs);
    EXPECT_GT(platform.ui.yields, 0u);  // the window stays live while it waits
}

TEST_F(ProcessEnderTest, TerminatesAWindowlessProcessWithoutWaiting) {
    processes.Add("hidden.exe", 102, 0);
    EXPECT_TRUE(ender.EndProcess(102, 0));
    EXPECT_TRUE(processes.posted.empty());
    EXPECT_EQ(processes.terminated, std::vector<uint32_t>{102});
    EXPECT_FALSE(processes.IsRunning(102));
}

TEST_F(ProcessEnderTest, ReportsFailureWhenTheProcessSurvives) {
    struct Unkillable : fakes::FakeProcesses {
        bool Terminate(uint32_t, uint32_t) override { return false; }
    } unkillable;
    unkillable.Add("rootkit.exe", 103, 1, false);
    ProcessEnder stuck{unkillable, platform.clock, platform.ui};
    EXPECT_FALSE(stuck.EndProcess(103, 0));
    EXPECT_TRUE(unkillable.IsRunning(103));
}

TEST_F(ProcessEnderTest, NeverTouchesItsOwnOrASystemCriticalProcess) {
    processes.Add("Pellora.exe", processes.selfPid, 1);
    processes.Add("SvcHost.EXE", 200, 1);
    processes.Add("C:\\Windows\\System32\\lsass.exe", 201, 0);
    processes.Add("csrss.exe", 202, 0);
    processes.Add("[System Process]", 0, 0);
    for (uint32_t pid : {processes.selfPid, 200u, 201u, 202u, 0u})
        EXPECT_FALSE(ender.EndProcess(pid, 0)) << pid;
    EXPECT_TRUE(processes.posted.empty());
    EXPECT_TRUE(processes.terminated.empty());
    EXPECT_EQ(processes.processes.size(), 5u);
}

TEST_F(ProcessEnderTest, AProcessThatIsNoLongerRunningHasEnded) {
    EXPECT_TRUE(ender.EndProcess(999, 0));
    EXPECT_TRUE(processes.posted.empty());
    EXPECT_TRUE(processes.terminated.empty());
}

TEST(IsSystemCriticalProcess, MatchesTheExecutableNameOnly) {
    EXPECT_TRUE(IsSystemCriticalProcess("WINLOGON.EXE"));
    EXPECT_TRUE(IsSystemCriticalProcess("services.exe"));
    EXPECT_TRUE(IsSystemCriticalProcess("smss.exe"));
    EXPECT_TRUE(IsSystemCriticalProcess("wininit.exe"));
    EXPECT_FALSE(IsSystemCriticalProcess("svchost.exe.exe"));
    EXPECT_FALSE(IsSystemCriticalProcess("mysvchost.exe"));
    EXPECT_FALSE(IsSystemCriticalProcess("explorer.exe"));
    EXPECT_FALSE(IsSystemCriticalProcess(""));
}

TEST_F(ProcessEnderTest, DetectsTheWindowsFamilyFromTheVersionRecord) {
    struct Case {
        WindowsVersion version;
        bool win9x;
    };
    const Case cases[] = {
        {{4, 0, 1}, true},    // 95
        {{4, 10, 1}, true},   // 98
        {{4, 90, 1}, true},   // Me
        {{4, 0, 2}, false},   // NT 4.0
        {{5, 1, 2}, false},   // XP
        {{10, 0, 2}, false},  // 10 and 11
    };
    for (const Case& c : cases) {
        processes.version = c.version;
        ender.DetectWindowsFamily();
        EXPECT_EQ(ender.win9x(), c.win9x) << c.version.major << "." << c.version.minor;
        EXPECT_TRUE(ender.versionRead());
    }
}

TEST_F(ProcessEnderTest, OnWindows9xSendsEndSessionThenTerminatesAndReadsTheVersionOnce) {
    processes.version = {4, 10, 1};
    processes.Add("spy.exe", 300, 1, false);
    processes.Add("daemon.exe", 301, 0);
    EXPECT_TRUE(ender.EndProcess(300, 7));
    EXPECT_EQ(processes.posted, (std::vector<std::pair<uint32_t, uint32_t>>{{300, kWmEndSession}}));
    EXPECT_EQ(processes.terminated, std::vector<uint32_t>{300});

    // Windowless on 9x: nothing is posted and nothing is terminated.
    processes.version = {10, 0, 2};  // not read again
    EXPECT_FALSE(ender.EndProcess(301, 0));
    EXPECT_TRUE(ender.win9x());
    EXPECT_EQ(processes.terminated, std::vector<uint32_t>{300});
    EXPECT_TRUE(processes.IsRunning(301));
}

}  // namespace
}  // namespace pellora
