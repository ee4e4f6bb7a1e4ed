// Layout checks on every panel at 100 % and, after a DPI change to 150 %, again: no two controls
// overlap, every control lies inside its panel, and no caption is cut.
#include "gui_fixture.h"

namespace pellora::gui::testing {
namespace {

struct Problem {
    std::string what;
};

std::string Describe(HWND hwnd) {
    return U(GetText(hwnd)) + " (" + std::to_string(GetDlgCtrlID(hwnd)) + ")";
}

// Width the control needs to show its caption without cutting it; 0 when it shortens or wraps
// its text by design.
int NeededWidth(HWND control) {
    wchar_t className[32] = {};
    GetClassNameW(control, className, 32);
    const LONG style = GetWindowLongW(control, GWL_STYLE);
    HFONT font = reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0));
    std::wstring text = GetText(control);
    if (text.empty() || !font) return 0;
    // Mnemonic markers take no room.
    std::wstring shown = WithoutMnemonic(text);
    const int textWidth = TextWidth(font, shown);
    if (lstrcmpiW(className, L"Button") == 0) {
        const LONG type = style & BS_TYPEMASK;
        if (type == BS_CHECKBOX || type == BS_AUTOCHECKBOX || type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON) {
            return textWidth + GetSystemMetrics(SM_CXMENUCHECK);
        }
        return textWidth + 8;
    }
    if (lstrcmpiW(className, L"Static") == 0) {
        if (style & (SS_ENDELLIPSIS | SS_PATHELLIPSIS))
            return 0;
        if ((style & SS_TYPEMASK) == SS_OWNERDRAW)
            return 0;
        if ((style & SS_TYPEMASK) == SS_LEFT) {
            // A label that wraps its text needs the height of its wrapped lines at its width.
            RECT rect;
            GetClientRect(control, &rect);
            HDC dc = GetDC(control);
            HGDIOBJ old = SelectObject(dc, font);
            RECT wrapped{0, 0, rect.right, 0};
            DrawTextW(dc, shown.c_str(), -1, &wrapped, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
            SelectObject(dc, old);
            ReleaseDC(control, dc);
            return wrapped.bottom <= rect.bottom ? 0 : textWidth;
        }
        return textWidth;
    }
    return 0;
}

std::vector<std::string> LayoutProblems(HWND parent) {
    std::vector<std::string> problems;
    RECT client;
    GetClientRect(parent, &client);
    std::vector<std::pair<HWND, RECT>> controls;
    for (HWND child = GetWindow(parent, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if (!(GetWindowLongW(child, GWL_STYLE) & WS_VISIBLE))
            continue;
        RECT rect;
        GetWindowRect(child, &rect);
        MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
        if (rect.right - rect.left <= 0 || rect.bottom - rect.top <= 0)
            continue;
        if (rect.left < 0 || rect.top < 0 || rect.right > client.right || rect.bottom > client.bottom) {
            problems.push_back(Describe(child) + " leaves the panel");
        }
        int needed = NeededWidth(child);
        if (needed > rect.right - rect.left) {
            problems.push_back(Describe(child) + " is cut: " + std::to_string(rect.right - rect.left) + " < " +
                               std::to_string(needed));
        }
        controls.push_back({child, rect});
    }
    for (size_t i = 0; i < controls.size(); ++i) {
        for (size_t j = i + 1; j < controls.size(); ++j) {
            RECT overlap;
            if (IntersectRect(&overlap, &controls[i].second, &controls[j].second)) {
                problems.push_back(Describe(controls[i].first) + " overlaps " + Describe(controls[j].first));
            }
        }
    }
    return problems;
}

void ExpectCleanLayout(MainWindow& window, int dpi) {
    for (int i = 0; i < 10; ++i) {
        PanelView* panel = window.panel(static_cast<Panel>(i));
        if (panel->id() != Panel::Update)
            EXPECT_NE(GetWindow(panel->hwnd(), GW_CHILD), nullptr);
        for (const std::string& problem : LayoutProblems(panel->hwnd())) {
            ADD_FAILURE() << "dpi " << dpi << ", " << PanelTitle(static_cast<Panel>(i)) << ": " << problem;
        }
    }
}

TEST_F(MainWindowTest, NoControlOverlapsLeavesItsPanelOrIsCutAt100And150Percent) {
    state.status.currentIp = "255.255.255.255";
    state.status.dbaseVersion = "Starter Database 2026.12.1";
    ui.Changed(View::StatusFigures);
    Settle();
    const int dpi = window.fonts().dpi();
    ExpectCleanLayout(window, dpi);
    // The smallest size the window can be given keeps its panels whole as well.
    RECT normal;
    GetWindowRect(window.hwnd(), &normal);
    SetWindowPos(window.hwnd(), nullptr, 0, 0, 1, 1, SWP_NOMOVE | SWP_NOZORDER);
    Settle();
    RECT smallest;
    GetWindowRect(window.hwnd(), &smallest);
    EXPECT_EQ(smallest.right - smallest.left, Scale(720, dpi));
    ExpectCleanLayout(window, dpi);
    SetWindowPos(window.hwnd(), nullptr, normal.left, normal.top, normal.right - normal.left,
                 normal.bottom - normal.top, SWP_NOZORDER);

    // A move to a monitor at 150 % (the system's suggestion: the same place, 1.5 times the size).
    RECT rect;
    GetWindowRect(window.hwnd(), &rect);
    const int larger = dpi * 3 / 2;
    RECT suggested{rect.left / 2, rect.top / 2, rect.left / 2 + MulDiv(rect.right - rect.left, larger, dpi),
                   rect.top / 2 + MulDiv(rect.bottom - rect.top, larger, dpi)};
    SendMessageW(window.hwnd(), WM_DPICHANGED, MAKEWPARAM(larger, larger), reinterpret_cast<LPARAM>(&suggested));
    Settle();
    EXPECT_EQ(window.fonts().dpi(), larger);
    GetWindowRect(window.hwnd(), &rect);
    EXPECT_EQ(rect.right - rect.left, suggested.right - suggested.left);
    ExpectCleanLayout(window, larger);
    Screenshot("after-dpi-change");
}

// Every dialog at 100 % and at 150 %: laid out cleanly, and a screenshot to look at.
TEST_F(MainWindowTest, EveryDialogIsLaidOutCleanlyAt100And150Percent) {
    state.lstSelectedFolders = {"C:\\windows", "C:\\users\\Public\\Documents\\Reports"};
    const std::tuple<Panel, int, const char*> dialogs[] = {
        {Panel::Settings, kIdCmdHomepageProtectSett, "dialog-home-page"},
        {Panel::Settings, kIdCmdActiveProtectionSett, "dialog-active-protection"},
        {Panel::Settings, kIdCmdAdvancedRegBackup, "dialog-registry-backup"},
        {Panel::ScanPrep, kIdCmdCustomizeScan, "dialog-custom-scan"},
        {Panel::ScanPrep, kIdCmdSelectDrvFolderScan, "dialog-folders"},
    };
    for (int round = 0; round < 2; ++round) {
        if (round == 1) {
            RECT rect;
            GetWindowRect(window.hwnd(), &rect);
            const int larger = window.fonts().dpi() * 3 / 2;
            SendMessageW(window.hwnd(), WM_DPICHANGED, MAKEWPARAM(larger, larger), reinterpret_cast<LPARAM>(&rect));
            Settle();
        }
        const int dpi = window.fonts().dpi();
        for (const auto& [panel, id, name] : dialogs) {
            EXPECT_EQ(OpenDialog(panel, id,
                                 [&](DialogBase& dialog) {
                                     for (const std::string& problem : LayoutProblems(dialog.hwnd())) {
                                         ADD_FAILURE() << "dpi " << dpi << ", " << name << ": " << problem;
                                     }
                                     Screenshot(name, dialog.hwnd());
                                 }),
                      1);
        }
    }
}

}  // namespace
}  // namespace pellora::gui::testing
