#include "gui/nav_bar.h"

#include "gui/commands.h"

namespace pellora::gui {

namespace {
constexpr const wchar_t* kCaptions[4] = {L"&Status", L"S&can", L"S&ettings", L"&Help"};
constexpr int kIds[4] = {kIdCmdStatus, kIdCmdScan, kIdCmdSettings, kIdCmdHelp};
}  // namespace

bool NavBar::Create(HWND parent) {
    if (!CreateWindowOf(L"PelloraNavBar", L"", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, WS_EX_CONTROLPARENT, 0, 0, 10,
                        10, parent)) {
        return false;
    }
    for (int i = 0; i < 4; ++i) {
        buttons_[i] = CreateWindowExW(0, L"BUTTON", kCaptions[i], WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_OWNERDRAW, 0,
                                      0, 10, 10, hwnd_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kIds[i])),
                                      GetModuleHandleW(nullptr), nullptr);
    }
    ApplyFonts();
    return true;
}

void NavBar::ApplyFonts() {
    for (HWND button : buttons_) SendMessageW(button, WM_SETFONT, reinterpret_cast<WPARAM>(fonts_.normal()), TRUE);
}

void NavBar::Layout(const RECT& rect) {
    const int width = rect.right - rect.left;
    MoveWindow(hwnd_, rect.left, rect.top, width, rect.bottom - rect.top, TRUE);
    const int dpi = fonts_.dpi();
    const int top = Scale(24, dpi) + fonts_.lineHeight() * 2 + Scale(40, dpi);
    const int height = fonts_.lineHeight() + Scale(20, dpi);
    for (int i = 0; i < 4; ++i) {
        MoveWindow(buttons_[i], 0, top + i * (height + Scale(2, dpi)), width, height, TRUE);
    }
    InvalidateRect(hwnd_, nullptr, TRUE);
}

void NavBar::SetCurrent(Panel panel) {
    int current = -1;
    switch (panel) {
        case Panel::Status: current = 0; break;
        case Panel::ScanPrep:
        case Panel::ScanProc:
        case Panel::ScanResult:
        case Panel::Iremovable: current = 1; break;
        case Panel::Settings: current = 2; break;
        default: break;
    }
    if (current == current_) return;
    current_ = current;
    for (HWND button : buttons_) InvalidateRect(button, nullptr, FALSE);
}

void NavBar::Paint() {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(hwnd_, &paint);
    RECT client;
    GetClientRect(hwnd_, &client);
    HBRUSH back = CreateSolidBrush(kNavBackground);
    FillRect(dc, &client, back);
    DeleteObject(back);
    const int dpi = fonts_.dpi();
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, kNavText);
    HGDIOBJ old = SelectObject(dc, fonts_.brand());
    RECT brand{Scale(18, dpi), Scale(20, dpi), client.right - Scale(8, dpi), client.bottom};
    DrawTextW(dc, L"Pellora", -1, &brand, DT_SINGLELINE | DT_NOPREFIX);
    SelectObject(dc, fonts_.normal());
    SetTextColor(dc, RGB(190, 205, 230));
    RECT subtitle{brand.left, brand.top + fonts_.lineHeight() * 2 + Scale(2, dpi), brand.right, client.bottom};
    DrawTextW(dc, L"Anti-spyware", -1, &subtitle, DT_SINGLELINE | DT_NOPREFIX);
    SelectObject(dc, old);
    EndPaint(hwnd_, &paint);
}

void NavBar::Draw(const DRAWITEMSTRUCT& item) {
    int index = -1;
    for (int i = 0; i < 4; ++i) {
        if (item.hwndItem == buttons_[i]) index = i;
    }
    if (index < 0) return;
    const int dpi = fonts_.dpi();
    RECT rect = item.rcItem;
    COLORREF fill = index == current_ ? kNavSelected : (item.itemState & ODS_SELECTED) ? kNavHot : kNavBackground;
    HBRUSH brush = CreateSolidBrush(fill);
    FillRect(item.hDC, &rect, brush);
    DeleteObject(brush);
    if (index == current_) {
        RECT marker{rect.left, rect.top, rect.left + Scale(4, dpi), rect.bottom};
        HBRUSH accent = CreateSolidBrush(RGB(120, 180, 255));
        FillRect(item.hDC, &marker, accent);
        DeleteObject(accent);
    }
    SetBkMode(item.hDC, TRANSPARENT);
    SetTextColor(item.hDC, kNavText);
    HGDIOBJ old = SelectObject(item.hDC, index == current_ ? fonts_.bold() : fonts_.normal());
    RECT text{rect.left + Scale(20, dpi), rect.top, rect.right - Scale(8, dpi), rect.bottom};
    UINT format = DT_SINGLELINE | DT_VCENTER;
    if (item.itemState & ODS_NOACCEL) format |= DT_HIDEPREFIX;
    DrawTextW(item.hDC, kCaptions[index], -1, &text, format);
    SelectObject(item.hDC, old);
    if (item.itemState & ODS_FOCUS) {
        RECT focus = rect;
        InflateRect(&focus, -Scale(3, dpi), -Scale(3, dpi));
        SetTextColor(item.hDC, kNavText);
        DrawFocusRect(item.hDC, &focus);
    }
}

LRESULT NavBar::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_PAINT: Paint(); return 0;
        case WM_ERASEBKGND: return 1;
        case WM_DRAWITEM: Draw(*reinterpret_cast<DRAWITEMSTRUCT*>(lParam)); return TRUE;
        case WM_COMMAND: return SendMessageW(GetParent(hwnd_), message, wParam, lParam);
        default: return WindowBase::HandleMessage(message, wParam, lParam);
    }
}

}  // namespace pellora::gui
