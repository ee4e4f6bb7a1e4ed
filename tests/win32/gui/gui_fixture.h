// The main window over the in-memory fakes, shown on the test display: each test gets a fresh
// App, window and message answers. Screenshot() writes what the screen shows of the window
// into screenshots/<dpi>/ below the build folder.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

// The fakes first: <windows.h> turns names such as DeleteFile into macros.
#include "core/app/app.h"
#include "fakes/fake_http.h"
#include "fakes/fake_platform.h"
#include "fakes/fake_trust.h"

#include "gui/dialog_base.h"
#include "gui/gui_ui.h"
#include "gui/main_window.h"
#include "gui/panels.h"
#include "gui/wiring.h"

namespace pellora::gui::testing {

struct ShownMessage {
    std::string text;
    std::string title;
    MsgButtons buttons;
    MsgIcon icon;
};

class MainWindowTest : public ::testing::Test {
  protected:
    MainWindowTest();
    ~MainWindowTest() override;

    // Serves the window's messages for a moment and draws pending changes.
    void Settle(int milliseconds = 0);
    // Clicks a button of the visible panel or of the navigation bar.
    void Click(HWND button);
    void ClickInPanel(Panel panel, int id);
    std::wstring TextOf(HWND control) const;
    size_t ListCount(Panel panel);
    int VisiblePanelCount() const;
    bool IsShown(Panel panel) const;
    // Clicks `id` on `panel`; `inside` runs in the dialog it opens, which is cancelled afterwards
    // if `inside` left it open. Returns how many dialogs were shown.
    int OpenDialog(Panel panel, int id, const std::function<void(DialogBase&)>& inside);
    // Writes the main window (or `hwnd`, such as a dialog) as shown on the screen.
    void Screenshot(const std::string& name, HWND hwnd = nullptr);

    fakes::FakePlatform fake;
    GuiUi ui;
    // The update's network and signature check; App keeps the ports it is given, so they are
    // there before it is made.
    fakes::FakeHttp http;
    fakes::FakeSignatures signatures;
    fakes::FakeTrust trust;
    Ports ports{fake.registry, fake.files, fake.processes, fake.shell,  fake.clock,
                fake.system,   ui,         &http,          &signatures, nullptr, &trust};
    App app{ports};
    GuiCommands commands;
    MainWindow window{app, commands, ui};
    std::vector<ShownMessage> messages;
    AppState& state = app.state();
};

// What the screen shows of a window: 24-bit rows, bottom row first.
struct ScreenPixels {
    int left = 0;  // where the shot lies on the screen, for shots of the X server
    int top = 0;
    int width = 0;
    int height = 0;
    int stride = 0;
    std::vector<unsigned char> bytes;
    // Number of different colours (counting stops at `limit`).
    size_t DistinctColours(size_t limit = 16) const;
};
// What Wine's own screen device context gives for the window: the window's surface as Wine
// keeps it, which can look right while the X server shows something else.
ScreenPixels CaptureScreen(HWND hwnd);

// The client area of a window on the screen. Without a window manager (a bare Xvfb) the X
// window of a top-level window is just its client area: Wine leaves the frame to the manager.
RECT ClientOnScreen(HWND hwnd);
// What the X server shows in `area` of the screen, read from the test display's framebuffer
// file (Xvfb -fbdir; scripts/with-wine names it in PELLORA_SCREEN_FILE), not through Wine's
// device contexts. Nothing when the display has no such file.
std::optional<ScreenPixels> CaptureXServer(const RECT& area);
// The part of `shot` (a shot of the X server) inside `area`.
ScreenPixels Crop(const ScreenPixels& shot, const RECT& area);
// The whole screen once two shots in a row are equal (serving messages in between); nothing
// without a framebuffer file or when the screen never settles within a generous deadline.
std::optional<ScreenPixels> SettledXServerScreen(const std::function<void()>& pump);
// Pixels much darker than a light background (text, icons, edges), and light ones.
size_t DarkPixelCount(const ScreenPixels& shot);
size_t LightPixelCount(const ScreenPixels& shot);
// Pixels that differ between two shots of the same size.
size_t DifferingPixelCount(const ScreenPixels& a, const ScreenPixels& b);
// A light background with text, and (given a shot of the screen from before) not what was there.
bool LooksPainted(const ScreenPixels& shot, const ScreenPixels* before);
// Calls `pump` (so Wine paints and hands its surfaces to the X server) until the X server
// shows the window's client area painted, or a generous deadline passes; returns the last shot.
ScreenPixels WaitForPaintedOnXServer(HWND hwnd, const ScreenPixels* before, const std::function<void()>& pump);

// A key's message to `target`, as the queue would deliver it (WM_SYSCHAR with Alt held).
MSG KeyMessage(HWND target, UINT message, WPARAM key);

// The text of a control with its mnemonic marker removed.
std::wstring WithoutMnemonic(std::wstring text);

}  // namespace pellora::gui::testing
