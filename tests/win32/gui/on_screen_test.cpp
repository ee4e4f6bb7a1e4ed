// What a person sees: every dialog, and a message box over the main window, read off the X
// server's framebuffer. Wine's own device contexts show a window's surface whether or not the
// X server shows it, so only the framebuffer tells a painted dialog from a blank one.
#include "gui_fixture.h"

#include "gui/splash_window.h"

#include <atomic>
#include <thread>
#include <tuple>

namespace pellora::gui::testing {
namespace {

bool RunningUnderWine() {
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

class OnScreenTest : public MainWindowTest {
  protected:
    void SetUp() override {
        if (!RunningUnderWine())
            GTEST_SKIP() << "reads the framebuffer of the test display of a Wine run";
        ASSERT_TRUE(CaptureXServer(RECT{0, 0, 1, 1}))
            << "the test display has no framebuffer file: run the tests through scripts/with-wine";
    }

    std::optional<ScreenPixels> SettledScreen() {
        return SettledXServerScreen([this] { Settle(); });
    }
};

std::string Describe(const ScreenPixels& shot) {
    return std::to_string(shot.width) + "x" + std::to_string(shot.height) + " at " + std::to_string(shot.left) + "," +
           std::to_string(shot.top) + ": " + std::to_string(DarkPixelCount(shot)) + " dark and " +
           std::to_string(LightPixelCount(shot)) + " light pixels";
}

TEST_F(OnScreenTest, EveryDialogIsPaintedOnTheScreen) {
    state.lstSelectedFolders = {"C:\\windows", "C:\\users\\Public\\Documents\\Reports"};
    const std::tuple<Panel, int, const char*> dialogs[] = {
        {Panel::Settings, kIdCmdHomepageProtectSett, "home page"},
        {Panel::Settings, kIdCmdActiveProtectionSett, "active protection"},
        {Panel::Settings, kIdCmdAdvancedRegBackup, "registry backup"},
        {Panel::ScanPrep, kIdCmdCustomizeScan, "custom scan"},
        {Panel::ScanPrep, kIdCmdSelectDrvFolderScan, "folders"},
    };
    for (const auto& [panel, id, name] : dialogs) {
        app.navigation().Show(panel);
        Settle();
        const std::optional<ScreenPixels> before = SettledScreen();
        ASSERT_TRUE(before) << name << ": the screen did not settle";
        int shown = 0;
        bool painted = false;
        ScreenPixels shot;
        DialogBase::onShown = [&](DialogBase& dialog) {
            ++shown;
            shot = WaitForPaintedOnXServer(dialog.hwnd(), &*before, [this] { ui.Pump(); });
            painted = LooksPainted(shot, &*before);
            PostMessageW(dialog.hwnd(), WM_COMMAND, IDCANCEL, 0);
        };
        ClickInPanel(panel, id);
        DialogBase::onShown = nullptr;
        EXPECT_EQ(shown, 1) << name;
        EXPECT_TRUE(painted) << name << " dialog not painted on the screen: " << Describe(shot);
    }
}

// A real message box of the program (no test hook) over the main window, with the splash window
// up as during start-up and a panel whose timer runs, as during a scan.
TEST_F(OnScreenTest, AMessageBoxOverTheMainWindowIsPaintedOnTheScreenAndAnswered) {
    constexpr wchar_t kTitle[] = L"Pellora message box test";
    ui.messageHook = nullptr;
    app.navigation().ShowScanProc();
    state.scrollTimerEnabled = true;
    ui.Changed(View::ScanProgress);
    Settle();
    const std::optional<ScreenPixels> before = SettledScreen();
    ASSERT_TRUE(before) << "the screen did not settle";
    SplashWindow splash;
    ASSERT_TRUE(splash.Create(nullptr));
    splash.StepAsideForMessages(ui);

    std::atomic<bool> found{false};
    ScreenPixels shot;
    std::thread watcher([&] {
        HWND box = nullptr;
        const ULONGLONG start = GetTickCount64();
        while (!box && GetTickCount64() - start < 60000) {
            box = FindWindowW(L"#32770", kTitle);
            if (!box)
                Sleep(10);
        }
        if (!box)
            return;
        found = true;
        // The box's own modal loop paints it; this thread only reads the screen.
        shot = WaitForPaintedOnXServer(box, &*before, nullptr);
        PostMessageW(box, WM_COMMAND, IDNO, 0);
    });
    const MsgAnswer answer = ui.Message("Delete the checked objects?", U(kTitle), MsgButtons::YesNo, MsgIcon::Question);
    watcher.join();
    state.scrollTimerEnabled = false;
    ui.Changed(View::ScanProgress);
    Settle();

    EXPECT_TRUE(IsWindowVisible(splash.hwnd()));  // back after the answer
    ui.beforeMessage = nullptr;
    ui.afterMessage = nullptr;
    ASSERT_TRUE(found) << "no message box appeared";
    EXPECT_EQ(answer, MsgAnswer::No);
    EXPECT_TRUE(LooksPainted(shot, &*before)) << "message box not painted on the screen: " << Describe(shot);
}

}  // namespace
}  // namespace pellora::gui::testing
