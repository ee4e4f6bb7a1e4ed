// The navigation bar on the left of the main window: the program's name and the commands
// Status, Scan, Settings and Help as flat owner-drawn buttons, the current one highlighted.
// Clicks go to the main window as WM_COMMAND, as if the buttons were its own.
#pragma once

#include <array>

#include "core/state/app_state.h"
#include "gui/gui_util.h"
#include "gui/window_base.h"

namespace pellora::gui {

class NavBar : public WindowBase {
public:
    explicit NavBar(Fonts& fonts) : fonts_(fonts) {}
    bool Create(HWND parent);
    void Layout(const RECT& rect);
    void ApplyFonts();
    // Highlights the command that leads to the panel (none for panels reached otherwise).
    void SetCurrent(Panel panel);
    HWND button(int index) const { return buttons_[index]; }

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void Draw(const DRAWITEMSTRUCT& item);
    void Paint();

    Fonts& fonts_;
    std::array<HWND, 4> buttons_{};
    int current_ = -1;
};

}  // namespace pellora::gui
