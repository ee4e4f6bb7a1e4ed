// frmMain: the main window. It holds the navigation bar, the title label and the ten panels
// (exactly one visible), the tray icon, the window's timers and the keyboard handling, and it
// renders the model when the core reports a change. Change notices are gathered and drawn at
// the next pump or message-loop turn, so a scan that reports every counter step costs one
// repaint per pump, not one per step.
#pragma once

#include "gui/win.h"

#include <array>
#include <functional>
#include <memory>

#include "core/app/app.h"
#include "core/app/tray.h"
#include "gui/commands.h"
#include "gui/gui_ui.h"
#include "gui/nav_bar.h"
#include "gui/panel_view.h"
#include "gui/window_base.h"

namespace pellora::gui {

// Timers of the main window.
enum TimerId : UINT_PTR { kTmrScrollingBar = 1, kTmrTimer = 2, kTmrHomePageCheck = 3 };
inline constexpr UINT kScrollingBarMs = 50;
inline constexpr UINT kAutoScanMs = 987;
inline constexpr UINT kHomePageCheckMs = 30000;

class MainWindow : public WindowBase, public WindowOps {
public:
    MainWindow(App& app, GuiCommands& commands, GuiUi& ui);
    ~MainWindow() override;

    // Creates the window and everything in it, hidden, centred on the screen.
    bool Create();

    // Change notices from the core, and drawing them.
    void MarkChanged(View view);
    void FlushChanges();

    PanelView* panel(Panel panel) const { return panels_[static_cast<size_t>(panel)].get(); }
    PanelView* visiblePanel() const { return panel(shown_); }
    HWND titleLabel() const { return title_; }
    NavBar& navBar() { return nav_; }
    WindowHandling& handling() { return handling_; }
    Fonts& fonts() { return fonts_; }

    // Tray icon. `otherInstance`: another copy of the program runs; then no icon is added.
    void AddToSystemTray(bool otherInstance);
    void RemoveFromSystemTray();
    bool trayIconAdded() const { return trayAdded_; }
    bool timerRunning(TimerId id) const;

    // Runs when the window is activated (the splash window goes then).
    std::function<void()> onActivated;
    // Runs when the splash text changed.
    std::function<void()> onSplashChanged;
    int trayMenuCount() const { return trayMenus_; }
    // Whether closing the window ends the message loop (off in tests).
    bool quitOnDestroy = true;

    // WindowOps.
    bool Minimized() override;
    bool Maximized() override;
    void Hide() override;
    void ShowNormal() override;
    void MoveTo(int left, int top) override;
    void BringToFront() override;
    void ShowTrayMenu() override;

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    bool closeByUser_ = false;  // set by the close box or Exit just before their WM_CLOSE
    void CreateImages();
    void Layout();
    void ShowPanel(Panel panel);
    void SyncTimers();
    void SetTimerRunning(TimerId id, bool running, UINT intervalMs);
    void OnCommand(int id, int code);
    void OnDpiChanged(int dpi, const RECT* suggested);
    void ShowSelectionMenu(CheckedList list, POINT at);
    void OnSize();
    void DrawTitle(const DRAWITEMSTRUCT& item);
    bool AddIcon();
    void FocusPanel();

    App& app_;
    GuiCommands& commands_;
    GuiUi& ui_;
    Fonts fonts_;
    PanelContext context_;
    NavBar nav_{fonts_};
    HWND title_ = nullptr;
    std::array<std::unique_ptr<PanelView>, 10> panels_;
    Panel shown_ = Panel::Status;
    WindowHandling handling_;
    HICON iconLarge_ = nullptr;
    HICON iconSmall_ = nullptr;
    NOTIFYICONDATAW tray_{};
    bool trayAdded_ = false;
    UINT taskbarCreated_ = 0;
    uint32_t dirty_ = 0;
    bool flushPosted_ = false;
    std::array<bool, 4> timers_{};
    std::array<bool, 4> inTimer_{};
    int trayMenus_ = 0;
    HWND lastFocus_ = nullptr;
};

}  // namespace pellora::gui
