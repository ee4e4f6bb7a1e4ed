#include "gui/dialog_base.h"

#include <algorithm>

namespace pellora::gui {

namespace {

constexpr UINT kMsgShown = WM_APP + 40;

// An empty dialog template: no menu, the default class, no title, no controls. The template
// must start on a DWORD boundary.
struct alignas(4) EmptyTemplate {
    DLGTEMPLATE dialog;
    WORD menu;
    WORD windowClass;
    WORD title;
};

}  // namespace

std::function<void(DialogBase&)> DialogBase::onShown;

bool DialogBase::ShowModal(HWND owner, int dpi) {
    owner_ = owner;
    dpi_ = dpi;
    EmptyTemplate tpl{};
    tpl.dialog.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
    tpl.dialog.dwExtendedStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;
    INT_PTR result = DialogBoxIndirectParamW(GetModuleHandleW(nullptr), &tpl.dialog, owner, DialogProc,
                                             reinterpret_cast<LPARAM>(this));
    hwnd_ = nullptr;
    tips_ = nullptr;  // destroyed with the dialog that owned it
    return result == IDOK;
}

INT_PTR CALLBACK DialogBase::DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    DialogBase* self = nullptr;
    if (message == WM_INITDIALOG) {
        self = reinterpret_cast<DialogBase*>(lParam);
        self->hwnd_ = hwnd;
        SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
    } else {
        self = reinterpret_cast<DialogBase*>(GetWindowLongPtrW(hwnd, DWLP_USER));
    }
    return self ? self->HandleMessage(message, wParam, lParam) : FALSE;
}

void DialogBase::Initialise() {
    SetWindowTextW(hwnd_, title_.c_str());
    fonts_.Create(dpi_ > 0 ? dpi_ : DpiOf(owner_ ? owner_ : hwnd_));
    OnInit();
    ApplyFontsAndLayout(true);
}

void DialogBase::ApplyFontsAndLayout(bool center) {
    for (HWND child = GetWindow(hwnd_, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(fonts_.normal()), FALSE);
    }
    SIZE client = OnLayout();
    RECT frame{0, 0, client.cx, client.cy};
    const DWORD style = static_cast<DWORD>(GetWindowLongW(hwnd_, GWL_STYLE));
    const DWORD exStyle = static_cast<DWORD>(GetWindowLongW(hwnd_, GWL_EXSTYLE));
    AdjustWindowRectEx(&frame, style, FALSE, exStyle);
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    UINT flags = SWP_NOZORDER | SWP_NOACTIVATE;
    int x = 0;
    int y = 0;
    if (center) {
        // Centred over the owner, kept on its monitor's work area.
        RECT around{};
        if (!owner_ || !IsWindowVisible(owner_) || !GetWindowRect(owner_, &around)) {
            SystemParametersInfoW(SPI_GETWORKAREA, 0, &around, 0);
        }
        MONITORINFO monitor{};
        monitor.cbSize = sizeof monitor;
        GetMonitorInfoW(MonitorFromRect(&around, MONITOR_DEFAULTTONEAREST), &monitor);
        const RECT& work = monitor.rcWork;
        x = std::clamp<int>((around.left + around.right - width) / 2, work.left,
                            std::max<int>(work.left, work.right - width));
        y = std::clamp<int>((around.top + around.bottom - height) / 2, work.top,
                            std::max<int>(work.top, work.bottom - height));
    } else {
        flags |= SWP_NOMOVE;
    }
    SetWindowPos(hwnd_, nullptr, x, y, width, height, flags);
    InvalidateRect(hwnd_, nullptr, TRUE);
}

INT_PTR DialogBase::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            Initialise();
            PostMessageW(hwnd_, kMsgShown, 0, 0);
            return TRUE;  // the dialog manager focuses the first tab stop
        case kMsgShown:
            if (onShown) {
                // The modal loop shows the dialog once its queue is empty; a test acts on it
                // shown.
                ShowWindow(hwnd_, SW_SHOW);
                UpdateWindow(hwnd_);
                onShown(*this);
            }
            return TRUE;
        case WM_COMMAND: {
            const int id = LOWORD(wParam);
            if (OnCommand(id, HIWORD(wParam)))
                return TRUE;
            if (id == IDOK) {
                if (OnOk())
                    EndDialog(hwnd_, IDOK);
                return TRUE;
            }
            if (id == IDCANCEL) {
                EndDialog(hwnd_, IDCANCEL);
                return TRUE;
            }
            return FALSE;
        }
        case WM_NOTIFY: {
            LRESULT result = 0;
            if (OnNotify(reinterpret_cast<NMHDR*>(lParam), result)) {
                SetWindowLongPtrW(hwnd_, DWLP_MSGRESULT, result);
                return TRUE;
            }
            return FALSE;
        }
        case WM_CTLCOLORDLG:
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORBTN: {
            // The white of the main window's panels, not dialog grey.
            HDC dc = reinterpret_cast<HDC>(wParam);
            SetBkColor(dc, GetSysColor(COLOR_WINDOW));
            SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
            return reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_WINDOW));
        }
        case WM_DPICHANGED:
            fonts_.Create(HIWORD(wParam));
            ApplyFontsAndLayout(false);
            return TRUE;
        default: {
            bool handled = false;
            INT_PTR result = OnOtherMessage(message, wParam, lParam, handled);
            return handled ? result : FALSE;
        }
    }
}

HWND DialogBase::AddControl(const wchar_t* className, const std::wstring& text, DWORD style, DWORD exStyle, int id) {
    return CreateWindowExW(exStyle, className, text.c_str(), WS_CHILD | WS_VISIBLE | style, 0, 0, 10, 10, hwnd_,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
}

HWND DialogBase::AddLabel(const std::wstring& text, DWORD style) {
    return AddControl(L"STATIC", text, style, 0, -1);
}

HWND DialogBase::AddButton(const std::wstring& text, int id, bool isDefault) {
    return AddControl(L"BUTTON", text, WS_TABSTOP | (isDefault ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON), 0, id);
}

HWND DialogBase::AddCheck(const std::wstring& text, int id) {
    return AddControl(L"BUTTON", text, WS_TABSTOP | BS_AUTOCHECKBOX, 0, id);
}

HWND DialogBase::AddEdit(int id, DWORD style) {
    return AddControl(L"EDIT", L"", WS_TABSTOP | ES_AUTOHSCROLL | style, WS_EX_CLIENTEDGE, id);
}

void DialogBase::Tell(const std::string& text, MsgIcon icon) {
    app_.ports().ui.Message(text, kAppTitle, MsgButtons::Ok, icon);
}

void DialogBase::AddTip(HWND tool, const wchar_t* text) {
    if (!tips_) {
        tips_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, 0, 0,
                                0, 0, hwnd_, nullptr, GetModuleHandleW(nullptr), nullptr);
        SendMessageW(tips_, TTM_SETMAXTIPWIDTH, 0, S(320));
    }
    TTTOOLINFOW info{};
    info.cbSize = sizeof info;
    info.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    info.hwnd = hwnd_;
    info.uId = reinterpret_cast<UINT_PTR>(tool);
    info.lpszText = const_cast<wchar_t*>(text);
    SendMessageW(tips_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&info));
}

int DialogBase::TextWidthOf(HWND control) const {
    std::wstring text = GetText(control);
    // A mnemonic marker takes no room.
    if (size_t at = text.find(L'&'); at != std::wstring::npos)
        text.erase(at, 1);
    return TextWidth(fonts_.normal(), text);
}

int DialogBase::ButtonWidth(HWND button) const {
    return std::max(S(80), TextWidthOf(button) + S(24));
}

int DialogBase::WrappedHeight(HWND label, int width) const {
    std::wstring text = GetText(label);
    HDC dc = GetDC(hwnd_);
    HGDIOBJ old = SelectObject(dc, fonts_.normal());
    RECT rect{0, 0, width, 0};
    DrawTextW(dc, text.c_str(), -1, &rect, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
    SelectObject(dc, old);
    ReleaseDC(hwnd_, dc);
    return rect.bottom - rect.top;
}

void DialogBase::Place(HWND control, int x, int y, int width, int height) {
    MoveWindow(control, x, y, std::max(width, 0), std::max(height, 0), TRUE);
}

int DialogBase::PlaceButtonRow(const std::vector<HWND>& buttons, int width, int top) {
    int x = width - Margin();
    for (auto it = buttons.rbegin(); it != buttons.rend(); ++it) {
        const int w = ButtonWidth(*it);
        x -= w;
        Place(*it, x, top, w, ButtonHeight());
        x -= S(8);
    }
    return top + ButtonHeight();
}

}  // namespace pellora::gui
