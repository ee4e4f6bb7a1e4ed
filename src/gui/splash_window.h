// frmSplash: the small window shown while the program starts, with the status label
// lblLoading that follows the start-up steps (state.splashText).
#pragma once

#include <string>

#include "gui/gui_ui.h"
#include "gui/gui_util.h"
#include "gui/window_base.h"

namespace pellora::gui {

class SplashWindow : public WindowBase {
public:
    ~SplashWindow() override { Close(); }
    bool Create(HICON icon);
    void SetText(const std::string& text);
    std::wstring text() const { return text_; }
    // Unloading an already closed splash window does nothing.
    void Close();
    // Steps aside while `ui` shows a message box. Under Wine a message box shown while the
    // splash window is up is never painted (a black rectangle over the splash): the splash is
    // hidden for the time of the box and shown again afterwards.
    void StepAsideForMessages(GuiUi& ui);

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void Paint();
    Fonts fonts_;
    HICON icon_ = nullptr;
    std::wstring text_ = L"Loading...";
    bool hiddenForMessage_ = false;
};

}  // namespace pellora::gui
