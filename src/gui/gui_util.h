// Small helpers shared by the windows: text conversion, DPI scaling, the fonts of the window
// (the system's message font, never the old bold system font) and control creation.
#pragma once

#include "gui/win.h"

#include <string>
#include <string_view>

namespace pellora::gui {

std::wstring W(std::string_view utf8);
std::string U(std::wstring_view wide);

// The DPI a window is shown at (96 = 100 %).
int DpiOf(HWND hwnd);
inline int Scale(int pixelsAt96, int dpi) {
    return MulDiv(pixelsAt96, dpi, 96);
}

// Fonts for one DPI. Recreated when the window moves to a monitor of another DPI.
class Fonts {
public:
    Fonts() = default;
    ~Fonts() { Destroy(); }
    Fonts(const Fonts&) = delete;
    Fonts& operator=(const Fonts&) = delete;

    void Create(int dpi);
    HFONT normal() const { return normal_; }
    HFONT bold() const { return bold_; }
    HFONT title() const { return title_; }
    HFONT brand() const { return brand_; }
    int dpi() const { return dpi_; }
    // Height of one line of the normal font, in pixels.
    int lineHeight() const { return lineHeight_; }

private:
    void Destroy();
    HFONT normal_ = nullptr;
    HFONT bold_ = nullptr;
    HFONT title_ = nullptr;
    HFONT brand_ = nullptr;
    int dpi_ = 96;
    int lineHeight_ = 16;
};

// Width in pixels of a text in a font.
int TextWidth(HFONT font, std::wstring_view text);

// Sets a window's text only when it differs, so frequent refreshes do not flicker.
void SetTextIfChanged(HWND hwnd, const std::wstring& text);
void SetTextIfChanged(HWND hwnd, std::string_view utf8);
std::wstring GetText(HWND hwnd);

// Colours of the window.
inline constexpr COLORREF kNavBackground = RGB(28, 58, 102);
inline constexpr COLORREF kNavSelected = RGB(52, 96, 160);
inline constexpr COLORREF kNavHot = RGB(40, 76, 130);
inline constexpr COLORREF kNavText = RGB(255, 255, 255);
inline constexpr COLORREF kAccent = RGB(40, 96, 170);
inline constexpr COLORREF kMutedText = RGB(90, 90, 90);

}  // namespace pellora::gui
