// Base of every window class: stores `this` at WM_NCCREATE and forwards messages to the
// virtual HandleMessage.
#pragma once

#include "gui/win.h"

namespace pellora::gui {

class WindowBase {
public:
    virtual ~WindowBase() = default;
    HWND hwnd() const { return hwnd_; }

protected:
    // Registers the class once (by name) and creates the window.
    bool CreateWindowOf(const wchar_t* className, const wchar_t* title, DWORD style, DWORD exStyle, int x, int y,
                        int width, int height, HWND parent, HMENU menu = nullptr);
    virtual LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    virtual void RegisterExtras(WNDCLASSEXW&) {}

    HWND hwnd_ = nullptr;

private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
};

}  // namespace pellora::gui
