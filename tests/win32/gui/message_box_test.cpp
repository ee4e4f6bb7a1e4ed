// A real message box of the program (no test hook) over the main window, with the splash window
// up as during start-up, read off the screen by a second thread while the box waits for its
// answer: it must be painted, not a blank rectangle.
#include "gui_fixture.h"

#include "gui/splash_window.h"

#include <atomic>
#include <thread>

namespace pellora::gui::testing {
namespace {

constexpr wchar_t kBoxTitle[] = L"Pellora message box test";

TEST_F(MainWindowTest, ARealMessageBoxIsPaintedAndAnswered) {
    ui.messageHook = nullptr;
    SplashWindow splash;
    ASSERT_TRUE(splash.Create(nullptr));
    splash.StepAsideForMessages(ui);
    // A panel with a timer and pending change notices, as during a scan.
    app.navigation().ShowScanProc();
    state.scrollTimerEnabled = true;
    ui.Changed(View::ScanProgress);
    Settle();

    ScreenPixels shot;
    std::atomic<bool> found{false};
    std::thread watcher([&] {
        HWND box = nullptr;
        for (int i = 0; i < 1000 && !box; ++i) {
            box = FindWindowW(L"#32770", kBoxTitle);
            if (!box)
                Sleep(10);
        }
        if (!box)
            return;
        found = true;
        // The box paints itself in its own message loop; give it a moment on a busy machine.
        for (int i = 0; i < 20; ++i) {
            Sleep(100);
            shot = CaptureScreen(box);
            if (shot.DistinctColours() > 2)
                break;
        }
        PostMessageW(box, WM_COMMAND, IDNO, 0);
    });
    MsgAnswer answer = ui.Message("Delete the checked objects?", U(kBoxTitle), MsgButtons::YesNo, MsgIcon::Question);
    watcher.join();
    state.scrollTimerEnabled = false;
    ui.Changed(View::ScanProgress);
    Settle();

    EXPECT_TRUE(IsWindowVisible(splash.hwnd()));  // back after the answer
    ui.beforeMessage = nullptr;
    ui.afterMessage = nullptr;
    ASSERT_TRUE(found);
    EXPECT_EQ(answer, MsgAnswer::No);
    ASSERT_GT(shot.width, 0);
    // Text, icon, buttons and background: a painted box has many colours, a blank one one.
    EXPECT_GT(shot.DistinctColours(), 2u);
}

}  // namespace
}  // namespace pellora::gui::testing
