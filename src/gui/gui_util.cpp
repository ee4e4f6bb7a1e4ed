#include "gui/gui_util.h"

#include <vector>

#include "win32/encoding_win.h"

namespace pellora::gui {

std::wstring W(std::string_view utf8) {
    return win32::Widen(utf8);
}

std::string U(std::wstring_view wide) {
    return win32::Narrow(wide);
}

int DpiOf(HWND hwnd) {
    // GetDpiForWindow exists from Windows 10 1607 on; older systems (and hwnd-less calls) fall
    // back to the screen's logical pixels.
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    static auto getDpiForWindow = reinterpret_cast<GetDpiForWindowFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    if (hwnd && getDpiForWindow) {
        UINT dpi = getDpiForWindow(hwnd);
        if (dpi) return static_cast<int>(dpi);
    }
    HDC screen = GetDC(nullptr);
    int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : 96;
}

namespace {

LOGFONTW MessageFontFor(int dpi) {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    using ForDpiFn = BOOL(WINAPI*)(UINT, UINT, PVOID, UINT, UINT);
    static auto forDpi = reinterpret_cast<ForDpiFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "SystemParametersInfoForDpi")));
    if (forDpi && forDpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, dpi)) {
        return metrics.lfMessageFont;
    }
    if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) {
        LOGFONTW font = metrics.lfMessageFont;
        int systemDpi = DpiOf(nullptr);
        font.lfHeight = MulDiv(font.lfHeight, dpi, systemDpi);
        return font;
    }
    LOGFONTW font{};
    font.lfHeight = -MulDiv(9, dpi, 72);
    font.lfWeight = FW_NORMAL;
    lstrcpynW(font.lfFaceName, L"Segoe UI", LF_FACESIZE);
    return font;
}

}  // namespace

void Fonts::Create(int dpi) {
    Destroy();
    dpi_ = dpi;
    LOGFONTW base = MessageFontFor(dpi);
    normal_ = CreateFontIndirectW(&base);

    LOGFONTW bold = base;
    bold.lfWeight = FW_BOLD;
    bold_ = CreateFontIndirectW(&bold);

    LOGFONTW title = base;
    title.lfHeight = MulDiv(base.lfHeight, 3, 2);
    title.lfWeight = FW_SEMIBOLD;
    title_ = CreateFontIndirectW(&title);

    LOGFONTW brand = base;
    brand.lfHeight = MulDiv(base.lfHeight, 2, 1);
    brand.lfWeight = FW_BOLD;
    brand_ = CreateFontIndirectW(&brand);

    HDC dc = GetDC(nullptr);
    HGDIOBJ old = SelectObject(dc, normal_);
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    lineHeight_ = metrics.tmHeight > 0 ? metrics.tmHeight : Scale(16, dpi);
}

void Fonts::Destroy() {
    for (HFONT* font : {&normal_, &bold_, &title_, &brand_}) {
        if (*font) DeleteObject(*font);
        *font = nullptr;
    }
}

int TextWidth(HFONT font, std::wstring_view text) {
    HDC dc = GetDC(nullptr);
    HGDIOBJ old = SelectObject(dc, font);
    RECT rect{0, 0, 0, 0};
    std::wstring copy(text);
    DrawTextW(dc, copy.c_str(), static_cast<int>(copy.size()), &rect, DT_CALCRECT | DT_SINGLELINE);
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    return rect.right - rect.left;
}

std::wstring GetText(HWND hwnd) {
    int length = GetWindowTextLengthW(hwnd);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    int copied = GetWindowTextW(hwnd, text.data(), length + 1);
    text.resize(copied > 0 ? static_cast<size_t>(copied) : 0);
    return text;
}

void SetTextIfChanged(HWND hwnd, const std::wstring& text) {
    if (!hwnd) return;
    if (GetText(hwnd) != text) SetWindowTextW(hwnd, text.c_str());
}

void SetTextIfChanged(HWND hwnd, std::string_view utf8) {
    SetTextIfChanged(hwnd, W(utf8));
}

}  // namespace pellora::gui
