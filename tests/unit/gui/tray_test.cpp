#include <gtest/gtest.h>

#include "core/app/tray.h"
#include "fakes/fake_platform.h"

namespace pellora {
namespace {

struct RecordingWindow : WindowOps {
    bool minimized = false;
    bool maximized = false;
    bool restoresMaximized = false;  // was maximised when it was minimised
    bool visible = true;
    int left = 100, top = 80;
    std::vector<std::string> calls;

    bool Minimized() override { return minimized; }
    bool Maximized() override { return maximized; }
    void Hide() override {
        visible = false;
        calls.push_back("hide");
    }
    void ShowNormal() override {
        minimized = false;
        maximized = restoresMaximized;
        visible = true;
        calls.push_back("normal");
    }
    void MoveTo(int l, int t) override {
        left = l;
        top = t;
        calls.push_back("move " + std::to_string(l) + "," + std::to_string(t));
    }
    void BringToFront() override { calls.push_back("front"); }
    void ShowTrayMenu() override { calls.push_back("menu"); }
};

struct TrayTest : ::testing::Test {
    fakes::FakeUi ui;
    RecordingWindow window;
    int saves = 0;
    WindowHandling handling{window, ui, [this] { ++saves; }};
};

TEST_F(TrayTest, MinimiseHidesAndSavesAtOnce) {
    handling.Form_Resize(120, 90);
    EXPECT_EQ(saves, 0);
    EXPECT_TRUE(window.calls.empty());

    window.minimized = true;
    handling.Form_Resize(-32000, -32000);
    EXPECT_FALSE(window.visible);
    EXPECT_EQ(saves, 1);
    EXPECT_EQ(ui.yields, 1u);
    // Never negative.
    EXPECT_EQ(handling.rememberedLeft(), 0);
    EXPECT_EQ(handling.rememberedTop(), 0);

    handling.Form_Resize(-5, 40);
    EXPECT_EQ(handling.rememberedLeft(), 0);
    EXPECT_EQ(handling.rememberedTop(), 40);
}

TEST_F(TrayTest, MouseNumbersRestoreOrOpenTheMenuAndNothingElse) {
    handling.Form_Resize(300, 200);
    window.minimized = true;
    window.visible = false;

    for (int number : {512, 513, 515, 516, 518, 0, -514, 1028}) handling.TrayMouse(number);
    EXPECT_TRUE(window.calls.empty());

    handling.TrayMouse(kTrayRightButtonUp);
    EXPECT_EQ(window.calls, std::vector<std::string>{"menu"});

    window.calls.clear();
    handling.TrayMouse(kTrayLeftButtonUp);
    EXPECT_EQ(window.calls, (std::vector<std::string>{"normal", "move 300,200", "front"}));
    EXPECT_TRUE(window.visible);

    // Already shown: only brought to the front, never moved.
    window.calls.clear();
    handling.RestoreWindow();
    EXPECT_EQ(window.calls, std::vector<std::string>{"front"});

    // Minimised from maximised: it comes back maximised where it was, not moved.
    window.minimized = true;
    window.restoresMaximized = true;
    window.calls.clear();
    handling.TrayMouse(kTrayLeftButtonUp);
    EXPECT_EQ(window.calls, (std::vector<std::string>{"normal", "front"}));
    EXPECT_TRUE(window.maximized);
}

}  // namespace
}  // namespace pellora
