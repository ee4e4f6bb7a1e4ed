#include "gui/splash_window.h"

namespace pellora::gui {

bool SplashWindow::Create(HICON icon) {
    icon_ = icon;
    const int dpi = DpiOf(nullptr);
    fonts_.Create(dpi);
    const int width = Scale(420, dpi);
    const int height = Scale(200, dpi);
    const int left = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
    const int top = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
    if (!CreateWindowOf(L"PelloraSplash", L"Pellora", WS_POPUP | WS_BORDER, WS_EX_TOOLWINDOW | WS_EX_TOPMOST, left, top,
                        width, height, nullptr)) {
        return false;
    }
    ShowWindow(hwnd_, SW_SHOWNOACTIVATE);
    UpdateWindow(hwnd_);
    return true;
}

void SplashWindow::SetText(const std::string& text) {
    std::wstring wide = W(text);
    if (wide == text_) return;
    text_ = wide;
    if (hwnd_) {
        InvalidateRect(hwnd_, nullptr, TRUE);
        UpdateWindow(hwnd_);
    }
}

void SplashWindow::StepAsideForMessages(GuiUi& ui) {
    ui.beforeMessage = [this] {
        hiddenForMessage_ = hwnd_ && IsWindowVisible(hwnd_);
        if (hiddenForMessage_)
            ShowWindow(hwnd_, SW_HIDE);
    };
    ui.afterMessage = [this] {
        if (hiddenForMessage_ && hwnd_)
            ShowWindow(hwnd_, SW_SHOWNOACTIVATE);
        hiddenForMessage_ = false;
    };
}

void SplashWindow::Close() {
    if (hwnd_) DestroyWindow(hwnd_);
}

void SplashWindow::Paint() {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(hwnd_, &paint);
    RECT client;
    GetClientRect(hwnd_, &client);
    const int dpi = fonts_.dpi();
    HBRUSH back = CreateSolidBrush(kNavBackground);
    FillRect(dc, &client, back);
    DeleteObject(back);
    const int pad = Scale(28, dpi);
    if (icon_) DrawIconEx(dc, pad, pad, icon_, Scale(48, dpi), Scale(48, dpi), 0, nullptr, DI_NORMAL);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, kNavText);
    HGDIOBJ old = SelectObject(dc, fonts_.brand());
    RECT name{pad + Scale(64, dpi), pad, client.right - pad, pad + Scale(48, dpi)};
    DrawTextW(dc, L"Pellora", -1, &name, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
    SelectObject(dc, fonts_.normal());
    SetTextColor(dc, RGB(200, 215, 235));
    RECT subtitle{pad, pad + Scale(64, dpi), client.right - pad, pad + Scale(64, dpi) + fonts_.lineHeight()};
    DrawTextW(dc, L"Anti-spyware protection", -1, &subtitle, DT_SINGLELINE | DT_NOPREFIX);
    SetTextColor(dc, kNavText);
    RECT loading{pad, client.bottom - pad - fonts_.lineHeight(), client.right - pad, client.bottom - pad};
    DrawTextW(dc, text_.c_str(), -1, &loading, DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS);
    SelectObject(dc, old);
    EndPaint(hwnd_, &paint);
}

LRESULT SplashWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_PAINT: Paint(); return 0;
        case WM_ERASEBKGND: return 1;
        default: return WindowBase::HandleMessage(message, wParam, lParam);
    }
}

}  // namespace pellora::gui
