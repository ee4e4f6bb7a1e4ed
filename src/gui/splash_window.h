// frmSplash: the small window shown while the program starts, with the status label
// lblLoading that follows the start-up steps (state.splashText).
#pragma once

#include <string>

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

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void Paint();
    Fonts fonts_;
    HICON icon_ = nullptr;
    std::wstring text_ = L"Loading...";
};

}  // namespace pellora::gui
