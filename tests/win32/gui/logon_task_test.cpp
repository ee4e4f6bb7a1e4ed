// The start-at-logon task on Wine's Task Scheduler. The definition handed to the scheduler has a
// logon trigger, the Users group at the highest run level and the executable in its folder;
// the adapter registers it, replaces it and removes it, and the settings panel's box does both
// with the Run value. Wine's scheduler registers, finds and deletes tasks but keeps of a
// definition only its registration info and settings (it drops triggers, principals and
// actions), so the definition is checked as text, and whether Windows then starts the program
// elevated at logon only Windows can show.
#include "gui_fixture.h"
// (after the fixture, whose fakes must come before <windows.h>)
#include "win32/logon_task_win.h"

namespace pellora::gui::testing {
namespace {

// A name of this run's own, so that the test prefix's real task is never touched.
std::wstring TestTaskName() {
    return L"PelloraTest" + std::to_wstring(GetCurrentProcessId());
}

bool Has(const std::wstring& text, const std::wstring& part) {
    return text.find(part) != std::wstring::npos;
}
bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST(LogonTaskWinTest, DefinitionStartsTheExecutableAtLogonWithTheHighestRights) {
    std::wstring xml = win32::LogonTaskDefinition(L"C:\\Tools & <More>\\Pellora.exe");
    for (const wchar_t* part :
         {L"<LogonTrigger>", L"<GroupId>S-1-5-32-545</GroupId>", L"<RunLevel>HighestAvailable</RunLevel>",
          L"<ExecutionTimeLimit>PT0S</ExecutionTimeLimit>",
          L"<MultipleInstancesPolicy>IgnoreNew</MultipleInstancesPolicy>",
          L"<Command>C:\\Tools &amp; &lt;More&gt;\\Pellora.exe</Command>",
          L"<WorkingDirectory>C:\\Tools &amp; &lt;More&gt;</WorkingDirectory>"}) {
        EXPECT_TRUE(Has(xml, part)) << part;
    }
    EXPECT_FALSE(Has(xml, L"& <")) << "an unescaped path would make the definition unreadable";
}

TEST(LogonTaskWinTest, RegistersReplacesAndRemovesTheTask) {
    win32::LogonTaskWin task(TestTaskName());
    ASSERT_TRUE(task.Remove());
    EXPECT_FALSE(task.Exists());

    ASSERT_TRUE(task.Register("C:\\Program Files\\Pellora\\Pellora.exe"));
    EXPECT_TRUE(task.Exists());
    std::string xml = task.DefinitionXml();
    EXPECT_TRUE(Has(xml, "<Description>Starts Pellora when a user logs on.</Description>")) << xml;
    EXPECT_TRUE(Has(xml, "<ExecutionTimeLimit>PT0S</ExecutionTimeLimit>")) << xml;

    ASSERT_TRUE(task.Register("D:\\Moved\\Pellora.exe")) << "registering again replaces the task";
    EXPECT_TRUE(task.Exists());

    EXPECT_TRUE(task.Remove());
    EXPECT_FALSE(task.Exists());
    EXPECT_EQ(task.DefinitionXml(), "");
    EXPECT_TRUE(task.Remove()) << "removing a task that is not there leaves none";
}

TEST_F(MainWindowTest, StartWithWindowsBoxRegistersAndRemovesTheLogonTask) {
    win32::LogonTaskWin task(TestTaskName());
    ASSERT_TRUE(task.Remove());
    app.settingsApplier().logonTask = &task;
    fake.registry.AddKey("HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Run");
    Click(window.navBar().button(2));
    HWND box = window.panel(Panel::Settings)->Control(kIdChkStartWithWindows);

    ClickInPanel(Panel::Settings, kIdChkStartWithWindows);
    EXPECT_TRUE(task.Exists());
    Settle();
    EXPECT_EQ(SendMessageW(box, BM_GETCHECK, 0, 0), BST_CHECKED);

    // The Run value gone by other means: the task alone still starts the program, and the box says so.
    fake.registry.DeleteValue(RootKey::LocalMachine, "Software\\Microsoft\\Windows\\CurrentVersion\\Run", "Pellora");
    app.settingsApplier().ApplySettings();
    Settle();
    EXPECT_EQ(SendMessageW(box, BM_GETCHECK, 0, 0), BST_CHECKED);

    ClickInPanel(Panel::Settings, kIdChkStartWithWindows);
    EXPECT_FALSE(task.Exists());
    Settle();
    EXPECT_EQ(SendMessageW(box, BM_GETCHECK, 0, 0), BST_UNCHECKED);
    app.settingsApplier().logonTask = nullptr;
}

}  // namespace
}  // namespace pellora::gui::testing
