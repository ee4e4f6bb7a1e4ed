// Window handling behind the tray icon: the remembered window position, hiding on minimise, the
// tray's mouse numbers and RestoreWindow. The window itself is reached through WindowOps, which
// the GUI implements on the real main window and the tests on a recorder, so the rules here run
// natively. The tray icon record (Shell_NotifyIcon) belongs to the GUI.
#pragma once

#include <functional>

#include "core/ports/ui.h"
#include "core/state/app_state.h"

namespace pellora {

// Mouse numbers the shell reports for the tray icon.
inline constexpr int kTrayLeftButtonUp = 514;   // WM_LBUTTONUP
inline constexpr int kTrayRightButtonUp = 517;  // WM_RBUTTONUP
inline constexpr const char* kTrayTip = "Clik here to open Pellora.";
inline constexpr int kTrayIconId = 1;

// What the main window offers the window handling.
class WindowOps {
  public:
    virtual ~WindowOps() = default;
    virtual bool Minimized() = 0;
    virtual void Hide() = 0;
    // True while the window fills the screen (maximised).
    virtual bool Maximized() = 0;
    // Shown and visible again in the state it had before it was minimised: maximised when it was.
    virtual void ShowNormal() = 0;
    virtual void MoveTo(int left, int top) = 0;
    // Topmost and at once not topmost again, without moving or resizing.
    virtual void BringToFront() = 0;
    // The tray menu mnuPopUp at the mouse position.
    virtual void ShowTrayMenu() = 0;
};

class WindowHandling {
  public:
    WindowHandling(WindowOps& window, UiPort& ui, std::function<void()> saveData)
        : window_(window), ui_(ui), saveData_(std::move(saveData)) {}

    // Every size or state change of the main window, with the left and top of its normal
    // (neither minimised nor maximised) place.
    void Form_Resize(int left, int top);
    // A mouse message number reported through the tray callback. Anything but the two button
    // releases does nothing.
    void TrayMouse(int number);
    void RestoreWindow();

    int rememberedLeft() const { return left_; }
    int rememberedTop() const { return top_; }

  private:
    WindowOps& window_;
    UiPort& ui_;
    std::function<void()> saveData_;
    int left_ = 0;
    int top_ = 0;
};

}  // namespace pellora
