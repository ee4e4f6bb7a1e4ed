// The start-with-Windows box and the logon task it keeps beside the Run value: a click registers
// or removes both, the box shows whether either is there after the click, and start-up writes
// both again from either one.
#include <gtest/gtest.h>

#include <optional>

#include "core/settings/apply_settings.h"
#include "fakes/fake_platform.h"

namespace pellora {
namespace {

class FakeLogonTask : public LogonTaskPort {
  public:
    bool Exists() override { return path.has_value(); }
    bool Register(const std::string& executablePath) override {
        ++registrations;
        if (refuse)
            return false;
        path = executablePath;
        return true;
    }
    bool Remove() override {
        if (refuse)
            return !path;
        path.reset();
        return true;
    }

    std::optional<std::string> path;
    bool refuse = false;  // as without the rights to change the scheduler's tasks
    int registrations = 0;
};

class LogonTaskTest : public ::testing::Test {
  protected:
    LogonTaskTest() {
        fake.registry.AddKey(kRunKeyPath);
        applier.logonTask = &task;
    }
    bool RunValue() { return fake.registry.Value(kRunKeyPath, kRunValueName).has_value(); }

    fakes::FakePlatform fake;
    AppState state;
    RegistryAccess registry{fake.registry, fake.ui};
    SettingsApplier applier{state, registry, fake.system, fake.ui};
    FakeLogonTask task;
};

TEST_F(LogonTaskTest, NoTaskIsRegisteredForAProgramOthersMayReplace) {
    state.unsafeFolderText = "Everyone may change C:\\Pellora\\Pellora.exe, ...";
    applier.SetStartWithWindows(true);
    EXPECT_EQ(task.registrations, 0);
    EXPECT_FALSE(task.path);
    EXPECT_EQ(state.lstLog, std::vector<std::string>{"Logon task not registered: " + state.unsafeFolderText});
    // Taking the box off still removes a task that is there.
    task.path = "C:\\Pellora\\Pellora.exe";
    applier.SetStartWithWindows(false);
    EXPECT_FALSE(task.path);
}

TEST_F(LogonTaskTest, BoxRegistersAndRemovesTheTaskWithTheRunValue) {
    applier.SetStartWithWindows(true);
    EXPECT_EQ(task.path, fake.system.ExecutablePath());
    EXPECT_TRUE(RunValue());
    EXPECT_TRUE(state.startWithWindows);

    applier.SetStartWithWindows(false);
    EXPECT_FALSE(task.path);
    EXPECT_FALSE(RunValue());
    EXPECT_FALSE(state.startWithWindows);
}

TEST_F(LogonTaskTest, BoxShowsWhatIsLeftWhenAChangeIsRefused) {
    struct Case {
        const char* name;
        bool denyRun, refuseTask, startChecked, expectChecked;
    };
    const Case cases[] = {
        {"nothing may be written: ticking leaves the box clear", true, true, false, false},
        {"only the task may be written: it starts the program", true, false, false, true},
        {"only the Run value may be written: it starts the program", false, true, false, true},
        {"the task cannot be removed: the box stays ticked", false, true, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fakes::FakePlatform platform;
        platform.registry.AddKey(kRunKeyPath);
        AppState caseState;
        RegistryAccess caseRegistry{platform.registry, platform.ui};
        SettingsApplier caseApplier{caseState, caseRegistry, platform.system, platform.ui};
        FakeLogonTask caseTask;
        caseApplier.logonTask = &caseTask;
        if (c.startChecked) {
            caseApplier.SetStartWithWindows(true);
        }
        if (c.denyRun)
            platform.registry.DenyWrite(kRunKeyPath);
        caseTask.refuse = c.refuseTask;
        caseApplier.SetStartWithWindows(!c.startChecked);
        EXPECT_EQ(caseState.startWithWindows, c.expectChecked);
    }
}

TEST_F(LogonTaskTest, StartUpWritesBothAgainFromEitherOne) {
    task.path = "D:\\Old\\Pellora.exe";
    applier.ApplySettings();
    EXPECT_TRUE(state.startWithWindows);
    EXPECT_EQ(task.path, fake.system.ExecutablePath());
    EXPECT_EQ(fake.registry.Value(kRunKeyPath, kRunValueName)->data, "\"" + fake.system.ExecutablePath() + "\"");

    AppState fresh;
    SettingsApplier again{fresh, registry, fake.system, fake.ui};
    FakeLogonTask empty;
    again.logonTask = &empty;
    again.ApplySettings();
    EXPECT_TRUE(fresh.startWithWindows);
    EXPECT_EQ(empty.path, fake.system.ExecutablePath());
}

}  // namespace
}  // namespace pellora
