#include "win32/processes_win.h"

#include <gtest/gtest.h>

#include "core/removal/external_commands.h"
#include "core/removal/process_ender.h"
#include "fakes/fake_platform.h"

// After the ports: windows.h defines Yield() as an empty macro.
#include "external_test_support.h"

namespace pellora::win32 {
namespace {

using pellora::testing::FileExists;
using pellora::testing::HelperPath;
using pellora::testing::ScratchFolder;

// A busy machine may need far longer than usual to start a program or to serve its messages:
// every wait for an event of another process is this long, and one that runs out fails.
constexpr DWORD kEventWaitMs = 60000;

// The system's clock, optionally slowed down: the ender's grace for a program to close by
// itself then lasts `slowdown` times longer in real time.
class TickClock : public ClockPort {
  public:
    explicit TickClock(uint64_t slowdown = 1) : slowdown_(slowdown) {}
    LocalTime Now() override { return {}; }
    std::string ShortDate(const LocalTime&) override { return {}; }
    uint64_t MonotonicMs() override { return GetTickCount64() / slowdown_; }

  private:
    uint64_t slowdown_;
};

// The helper started directly, so the test holds its handle and can read its exit code.
class Helper {
  public:
    // "windowless", or "windows"/"stubborn" with a number of windows.
    explicit Helper(const std::string& mode, int windows = 0) {
        // Set by the helper once its windows exist (WaitForInputIdle does not wait for a console
        // program under Wine).
        static int started = 0;
        std::string readyName =
            "PelloraHelperReady-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++started);
        HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, readyName.c_str());
        closed_ = CreateEventA(nullptr, TRUE, FALSE, (readyName + "-closed").c_str());
        std::string arguments =
            windows > 0 ? mode + " " + std::to_string(windows) + " " + readyName + " " + readyName + "-closed" : mode;
        std::wstring command = Widen(QuoteArgument(HelperPath()) + " " + arguments);
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info{};
        if (CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
            CloseHandle(info.hThread);
            process_ = info.hProcess;
            pid_ = info.dwProcessId;
            ready_ = windows == 0 || WaitForSingleObject(ready, kEventWaitMs) == WAIT_OBJECT_0;
        }
        CloseHandle(ready);
    }
    ~Helper() {
        if (closed_)
            CloseHandle(closed_);
        if (!process_)
            return;
        TerminateProcess(process_, 1);
        CloseHandle(process_);
    }
    uint32_t pid() const { return pid_; }
    // Started, and its windows (if it was asked for any) are there.
    bool started() const { return process_ != nullptr && ready_; }
    // The exit code once ended (waited for up to kEventWaitMs); STILL_ACTIVE while it runs.
    DWORD ExitCode() const {
        WaitForSingleObject(process_, kEventWaitMs);
        DWORD code = STILL_ACTIVE;
        GetExitCodeProcess(process_, &code);
        return code;
    }

    // The program closed its last window on the request (waited for up to kEventWaitMs).
    bool ClosedItsWindows() const { return closed_ && WaitForSingleObject(closed_, kEventWaitMs) == WAIT_OBJECT_0; }

  private:
    HANDLE closed_ = nullptr;
    HANDLE process_ = nullptr;
    uint32_t pid_ = 0;
    bool ready_ = false;
};

// The helper's own windows; the system may give its thread more (an input-method window).
int CountHelperWindows(uint32_t pid) {
    int count = 0;
    for (HWND w = GetWindow(GetDesktopWindow(), GW_CHILD); w; w = GetWindow(w, GW_HWNDNEXT)) {
        DWORD owner = 0;
        GetWindowThreadProcessId(w, &owner);
        wchar_t className[64] = {};
        GetClassNameW(w, className, 64);
        if (owner == pid && std::wstring_view(className) == L"PelloraExternalHelper")
            ++count;
    }
    return count;
}

class ProcessesWinTest : public ::testing::Test {
  protected:
    ProcessesWinTest() {
        ui.onYield = [] { Sleep(5); };
    }
    ProcessesWin processes;
    TickClock clock;
    fakes::FakeUi ui;
    ProcessEnder ender{processes, clock, ui};
};

TEST_F(ProcessesWinTest, SnapshotListsTheRunningProgramsByExecutableName) {
    Helper helper("windowless");
    ASSERT_TRUE(helper.started());
    bool foundSelf = false;
    bool foundHelper = false;
    for (const ProcessEntry& entry : processes.Snapshot()) {
        if (entry.pid == processes.CurrentProcessId())
            foundSelf = entry.exeName == "win32_external.exe";
        if (entry.pid == helper.pid())
            foundHelper = entry.exeName == "external_helper.exe";
    }
    EXPECT_TRUE(foundSelf);
    EXPECT_TRUE(foundHelper);
    EXPECT_TRUE(processes.IsRunning(helper.pid()));
    EXPECT_EQ(processes.Version().platformId, 2u);
}

TEST_F(ProcessesWinTest, AProgramWithTwoWindowsIsAskedToCloseAndEndsByItself) {
    Helper helper("windows", 2);
    ASSERT_TRUE(helper.started()) << "the helper's windows did not appear within " << kEventWaitMs / 1000 << " s";
    ASSERT_EQ(CountHelperWindows(helper.pid()), 2);
    // The grace to close by itself stretched to a minute: a busy machine may take that long to
    // serve the helper's messages, and the test is about the request, not the machine's speed.
    TickClock slowClock(kEventWaitMs / kCloseWaitMs);
    ProcessEnder patientEnder{processes, slowClock, ui};
    EXPECT_TRUE(patientEnder.EndProcess(helper.pid(), 77));
    EXPECT_TRUE(helper.ClosedItsWindows()) << "the program did not close its windows on the request";
    EXPECT_EQ(helper.ExitCode(), 0u) << "not ended by itself within the grace (77: terminated)";
    EXPECT_FALSE(processes.IsRunning(helper.pid()));
}

TEST_F(ProcessesWinTest, AProgramThatIgnoresTheRequestIsTerminatedAfterTheWait) {
    Helper helper("stubborn", 1);
    ASSERT_TRUE(helper.started());
    ASSERT_EQ(CountHelperWindows(helper.pid()), 1);
    EXPECT_TRUE(ender.EndProcess(helper.pid(), 77));
    EXPECT_EQ(helper.ExitCode(), 77u);
    EXPECT_GT(ui.yields, 0u);
}

TEST_F(ProcessesWinTest, AWindowlessProgramIsTerminated) {
    Helper helper("windowless");
    ASSERT_TRUE(helper.started());
    EXPECT_FALSE(processes.PostToProcessWindows(helper.pid(), WM_NULL, 0));
    EXPECT_TRUE(ender.EndProcess(helper.pid(), 77));
    EXPECT_EQ(helper.ExitCode(), 77u);
}

TEST_F(ProcessesWinTest, ItsOwnProcessIsRefused) {
    EXPECT_FALSE(ender.EndProcess(processes.CurrentProcessId(), 0));
    EXPECT_FALSE(processes.Terminate(0xFFFFFFF0u, 0));  // no such process
    EXPECT_FALSE(processes.IsRunning(0xFFFFFFF0u));
}

TEST_F(ProcessesWinTest, ShellAndWaitWaitsForTheProgramWithinItsBoundAndEndsItPastTheBound) {
    ScratchFolder scratch("wait");
    std::string marker = scratch / "done marker";
    std::string command = QuoteArgument(HelperPath()) + " sleep 700 " + QuoteArgument(marker);
    EXPECT_EQ(ShellAndWait(processes, command, kHiddenWindow, 20000), ShellRun::Finished);
    // The helper writes the marker just before it ends; it is there the moment the call returns.
    EXPECT_TRUE(FileExists(marker));

    std::string late = scratch / "late marker";
    EXPECT_EQ(
        ShellAndWait(processes, QuoteArgument(HelperPath()) + " sleep 4000 " + QuoteArgument(late), kHiddenWindow, 300),
        ShellRun::Ended);
    // Ended at the bound, not left to finish its work later: the helper is gone (waited for with
    // a generous deadline, as ending a process is not instant), so its marker can never come.
    auto helperRuns = [&] {
        for (const ProcessEntry& entry : processes.Snapshot()) {
            if (entry.exeName == "external_helper.exe")
                return true;
        }
        return false;
    };
    const ULONGLONG start = GetTickCount64();
    while (helperRuns() && GetTickCount64() - start < kEventWaitMs)
        Sleep(50);
    EXPECT_FALSE(helperRuns()) << "the helper still runs " << kEventWaitMs / 1000 << " s after the bound";
    EXPECT_FALSE(FileExists(late));

    EXPECT_EQ(ShellAndWait(processes, QuoteArgument(scratch / "no such program.exe"), kHiddenWindow, 20000),
              ShellRun::NotStarted);
}

}  // namespace
}  // namespace pellora::win32
