#include "core/app/tray.h"

#include <algorithm>

namespace pellora {

void WindowHandling::Form_Resize(int left, int top) {
    // A minimised window reports the window system's parking place, which may be negative;
    // restoring there would put the window off screen.
    left_ = std::max(left, 0);
    top_ = std::max(top, 0);
    if (!window_.Minimized())
        return;
    window_.Hide();
    if (saveData_)
        saveData_();
    ui_.Yield();
}

void WindowHandling::TrayMouse(int number) {
    if (number == kTrayLeftButtonUp) {
        RestoreWindow();
    } else if (number == kTrayRightButtonUp) {
        window_.ShowTrayMenu();
    }
}

void WindowHandling::RestoreWindow() {
    if (window_.Minimized()) {
        window_.ShowNormal();
        // A window that was maximised comes back maximised: moving it would shift it off its place.
        if (!window_.Maximized())
            window_.MoveTo(left_, top_);
    }
    window_.BringToFront();
}

}  // namespace pellora
