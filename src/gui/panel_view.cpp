#include "gui/panel_view.h"

#include <algorithm>

namespace pellora::gui {

bool PanelView::Create(HWND parent) {
    // WS_EX_CONTROLPARENT lets the main window's keyboard handling walk into the panel's
    // controls (tab order, mnemonics) as if they were its own.
    if (!CreateWindowOf(L"PelloraPanel", L"", WS_CHILD | WS_CLIPCHILDREN, WS_EX_CONTROLPARENT, 0, 0, 10, 10, parent)) {
        return false;
    }
    CreateControls();
    ApplyFonts();
    for (View view : {View::StatusFigures, View::Settings, View::ScanProgress, View::ScanResults, View::Irremovable,
                      View::IgnoreList, View::QuarantineList, View::QuarantineItems, View::Buttons}) {
        Refresh(view);
    }
    return true;
}

void PanelView::Show(bool visible) {
    ShowWindow(hwnd_, visible ? SW_SHOW : SW_HIDE);
}

void PanelView::Layout(const RECT& rect) {
    width_ = rect.right - rect.left;
    height_ = rect.bottom - rect.top;
    MoveWindow(hwnd_, rect.left, rect.top, width_, height_, TRUE);
    OnLayout(width_, height_);
}

void PanelView::ApplyFonts() {
    for (HWND child = GetWindow(hwnd_, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        HFONT font = context_.fonts.normal();
        if (std::find(boldControls_.begin(), boldControls_.end(), child) != boldControls_.end()) {
            font = context_.fonts.bold();
        }
        if (std::find(titleControls_.begin(), titleControls_.end(), child) != titleControls_.end()) {
            font = context_.fonts.title();
        }
        SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    }
    if (width_ > 0) OnLayout(width_, height_);
}

HWND PanelView::AddLabel(const std::string& text, int id, DWORD style) {
    return CreateWindowExW(0, L"STATIC", W(text).c_str(), WS_CHILD | WS_VISIBLE | SS_NOPREFIX | style, 0, 0, 10, 10,
                           hwnd_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr),
                           nullptr);
}

HWND PanelView::AddButton(const std::wstring& text, int id) {
    return CreateWindowExW(0, L"BUTTON", text.c_str(), WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 0, 0, 10,
                           10, hwnd_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr),
                           nullptr);
}

HWND PanelView::AddCheck(const std::string& text, int id) {
    return CreateWindowExW(0, L"BUTTON", W(text).c_str(), WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_AUTOCHECKBOX, 0, 0,
                           10, 10, hwnd_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                           GetModuleHandleW(nullptr), nullptr);
}

HWND PanelView::AddRadio(const std::string& text, int id, bool firstOfGroup) {
    DWORD style = WS_CHILD | WS_VISIBLE | BS_AUTORADIOBUTTON | (firstOfGroup ? WS_GROUP | WS_TABSTOP : 0);
    return CreateWindowExW(0, L"BUTTON", W(text).c_str(), style, 0, 0, 10, 10, hwnd_,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
}

int PanelView::TextWidthOf(HWND control) const {
    HFONT font = reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0));
    return TextWidth(font ? font : context_.fonts.normal(), GetText(control));
}

int PanelView::WrappedHeight(HWND label, int width) const {
    std::wstring text = GetText(label);
    HDC dc = GetDC(hwnd_);
    HGDIOBJ old = SelectObject(dc, context_.fonts.normal());
    RECT rect{0, 0, width, 0};
    DrawTextW(dc, text.c_str(), -1, &rect, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
    SelectObject(dc, old);
    ReleaseDC(hwnd_, dc);
    return std::max<int>(rect.bottom - rect.top, LineHeight());
}

int PanelView::ButtonWidth(HWND button, int minimumAt96) const {
    return std::max(S(minimumAt96), TextWidthOf(button) + S(28));
}

void PanelView::Place(HWND control, int x, int y, int width, int height) {
    MoveWindow(control, x, y, std::max(width, 0), std::max(height, 0), TRUE);
}

int PanelView::PlaceButtonRow(const std::vector<HWND>& left, const std::vector<HWND>& right, int width, int height) {
    const int top = height - Margin() - ButtonHeight();
    int x = Margin();
    for (HWND button : left) {
        int w = ButtonWidth(button);
        Place(button, x, top, w, ButtonHeight());
        x += w + S(8);
    }
    x = width - Margin();
    for (auto it = right.rbegin(); it != right.rend(); ++it) {
        int w = ButtonWidth(*it);
        x -= w;
        Place(*it, x, top, w, ButtonHeight());
        x -= S(8);
    }
    return top;
}

LRESULT PanelView::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND:
            if (OnCommand(LOWORD(wParam), HIWORD(wParam))) return 0;
            break;
        case WM_NOTIFY: {
            LRESULT result = 0;
            if (OnNotify(reinterpret_cast<NMHDR*>(lParam), result)) return result;
            break;
        }
        case WM_DRAWITEM:
            OnDrawItem(reinterpret_cast<DRAWITEMSTRUCT*>(lParam));
            return TRUE;
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORBTN: {
            // Labels, check boxes and option buttons sit on the panel's white, not dialog grey.
            HDC dc = reinterpret_cast<HDC>(wParam);
            SetBkColor(dc, GetSysColor(COLOR_WINDOW));
            SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
            return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
        }
        default:
            break;
    }
    return WindowBase::HandleMessage(message, wParam, lParam);
}

}  // namespace pellora::gui
