// The list panels from the keyboard (the selection menus, Ctrl+A, Enter), their columns sized to
// their texts with the object column taking the rest, the tips of cut cells, and the package
// contents naming the package and each object's original place.
#include "gui_fixture.h"

#include <numeric>

namespace pellora::gui::testing {
namespace {

template <typename Row>
std::vector<bool> Marks(const std::vector<Row>& rows) {
    std::vector<bool> marks;
    for (const Row& row : rows)
        marks.push_back(row.checked);
    return marks;
}

// Holds keys down as far as GetKeyState can tell, for the messages dispatched meanwhile.
class HeldKeys {
  public:
    explicit HeldKeys(std::initializer_list<int> keys) {
        GetKeyboardState(before_);
        BYTE state[256];
        std::copy(std::begin(before_), std::end(before_), state);
        for (int key : keys)
            state[key] |= 0x80;
        SetKeyboardState(state);
    }
    ~HeldKeys() { SetKeyboardState(before_); }

  private:
    BYTE before_[256] = {};
};

// A pop-up menu opened by `open`: where it showed and what it offered; then the item of the
// mnemonic `choose` is taken (0: the menu is closed). A menu that never shows, or stays open
// after the choice, is closed after a generous deadline and counts as not shown.
struct MenuProbe {
    static inline int shown = 0;
    static inline RECT rect{};
    static inline std::vector<std::wstring> items;
    static inline wchar_t choose = 0;
    static inline int ticks = 0;
    static inline HWND menu = nullptr;

    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
        if (++ticks > 400) {
            shown = 0;
            EndMenu();
            return;
        }
        if (menu)
            return;  // chosen; the menu closes and `open` returns
        HWND found = FindWindowW(reinterpret_cast<LPCWSTR>(static_cast<ULONG_PTR>(32768)), nullptr);
        if (!found || !IsWindowVisible(found))
            return;
        menu = found;
        ++shown;
        GetWindowRect(menu, &rect);
        items.clear();
        HMENU handle = reinterpret_cast<HMENU>(SendMessageW(menu, MN_GETHMENU, 0, 0));
        for (int i = 0; handle && i < GetMenuItemCount(handle); ++i) {
            wchar_t text[64] = {};
            GetMenuStringW(handle, static_cast<UINT>(i), text, 64, MF_BYPOSITION);
            items.push_back(text);
        }
        if (choose) {
            PostMessageW(menu, WM_CHAR, choose, 0);
        } else {
            EndMenu();
        }
    }

    static void Run(wchar_t key, const std::function<void()>& open) {
        shown = 0;
        ticks = 0;
        menu = nullptr;
        choose = key;
        const UINT_PTR timer = SetTimer(nullptr, 0, 25, Tick);
        open();
        KillTimer(nullptr, timer);
    }
};

int Sum(HWND list, int columns) {
    int sum = 0;
    for (int i = 0; i < columns; ++i)
        sum += ListView_GetColumnWidth(list, i);
    return sum;
}

int ClientWidth(HWND hwnd) {
    RECT client{};
    GetClientRect(hwnd, &client);
    return client.right;
}

TEST_F(MainWindowTest, SelectionMenusOpenFromTheKeyboardAtTheFocusedRowAndCtrlAChecksAll) {
    state.lstScanResult = {{"path", kImageProgram, "Adware", "C:\\A\\x.exe", "", false},
                           {"regval", kImageRegVal, "Spyware", "HKEY_CURRENT_USER\\Software\\X,Run", "", false},
                           {"cookie", kImageCookie, "Tracking cookie", "me@ads.example[1].txt", "", false}};
    state.lstIgnoreList = state.lstScanResult;
    state.lstQuarantinedList = {{"1-12-2026-9-0-0", "1 KB", "1", false},
                                {"2-12-2026-9-0-0", "2 KB", "2", false},
                                {"3-12-2026-9-0-0", "3 KB", "3", false}};
    const std::pair<Panel, std::function<std::vector<bool>()>> lists[] = {
        {Panel::ScanResult, [&] { return Marks(state.lstScanResult); }},
        {Panel::Ignored, [&] { return Marks(state.lstIgnoreList); }},
        {Panel::Quarantined, [&] { return Marks(state.lstQuarantinedList); }},
    };
    const std::vector<bool> all(3, true);
    const std::vector<bool> none(3, false);
    for (const auto& [panel, marks] : lists) {
        SCOPED_TRACE(PanelTitle(panel));
        app.navigation().Show(panel);
        for (View view : {View::ScanResults, View::IgnoreList, View::QuarantineList})
            ui.Changed(view);
        Settle();
        HWND list = static_cast<ListPanelView*>(window.panel(panel))->list().hwnd();
        SetFocus(list);
        ListView_SetItemState(list, 1, LVIS_FOCUSED | LVIS_SELECTED, LVIS_FOCUSED | LVIS_SELECTED);

        // The context-menu key: the menu opens at the focused row, "Select All" by its letter.
        MenuProbe::Run(L'a', [&] {
            MSG apps = KeyMessage(list, WM_KEYDOWN, VK_APPS);
            ui.Dispatch(apps);
        });
        Settle();
        ASSERT_EQ(MenuProbe::shown, 1);
        EXPECT_EQ(MenuProbe::items,
                  (std::vector<std::wstring>{L"Select &All\tCtrl+A", L"Select &None", L"&Inverse Selection"}));
        RECT row{};
        ListView_GetItemRect(list, 1, &row, LVIR_LABEL);
        POINT below{row.left, row.bottom};
        ClientToScreen(list, &below);
        EXPECT_LE(std::abs(MenuProbe::rect.left - below.x), 2) << MenuProbe::rect.left << " " << below.x;
        EXPECT_LE(std::abs(MenuProbe::rect.top - below.y), 2) << MenuProbe::rect.top << " " << below.y;
        EXPECT_EQ(marks(), all);
        // Its release opens nothing more.
        MenuProbe::Run(0, [&] {
            MSG release = KeyMessage(list, WM_KEYUP, VK_APPS);
            ui.Dispatch(release);
        });
        EXPECT_EQ(MenuProbe::shown, 0);

        // Shift+F10, "Inverse Selection".
        MenuProbe::Run(L'i', [&] {
            HeldKeys shift{VK_SHIFT};
            MSG f10 = KeyMessage(list, WM_SYSKEYDOWN, VK_F10);
            ui.Dispatch(f10);
        });
        Settle();
        EXPECT_EQ(MenuProbe::shown, 1);
        EXPECT_EQ(marks(), none);

        // Ctrl+A checks every row as "Select All" does.
        {
            HeldKeys control{VK_CONTROL};
            MSG a = KeyMessage(list, WM_KEYDOWN, 'A');
            ui.Dispatch(a);
            Settle();
        }
        EXPECT_EQ(marks(), all);

        // The system's keyboard request (no point), "Select None".
        MenuProbe::Run(L'n', [&] { SendMessageW(list, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(list), -1); });
        Settle();
        EXPECT_EQ(MenuProbe::shown, 1);
        EXPECT_EQ(marks(), none);

        // The mouse still opens it, once, where it was clicked.
        ListView_GetItemRect(list, 0, &row, LVIR_BOUNDS);
        const LPARAM at = MAKELPARAM(row.left + (row.right - row.left) / 2, (row.top + row.bottom) / 2);
        POINT clicked{row.left + (row.right - row.left) / 2, (row.top + row.bottom) / 2};
        ClientToScreen(list, &clicked);
        SetCursorPos(clicked.x, clicked.y);
        MenuProbe::Run(0, [&] {
            // Posted, as the mouse's are: the list waits in the queue for the button's release.
            PostMessageW(list, WM_RBUTTONDOWN, MK_RBUTTON, at);
            PostMessageW(list, WM_RBUTTONUP, 0, at);
            Settle();
        });
        EXPECT_EQ(MenuProbe::shown, 1);
    }
}

TEST_F(MainWindowTest, ResultColumnsFitTheirTextsAndTheObjectColumnTakesTheRoomLeft) {
    const std::string longKey =
        "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Browser Helper Objects\\"
        "{A1B2C3D4-1111}";
    state.lstScanResult = {{"regkey", kImageRegKey, "Browser hijacker", longKey, "", false},
                           {"path", kImageProgram, "Adware", "C:\\A\\x.exe", "", false}};
    app.navigation().ShowScanResult();
    ui.Changed(View::ScanResults);
    Settle();
    VirtualList& view = static_cast<ListPanelView*>(window.panel(Panel::ScanResult))->list();
    HWND list = view.hwnd();

    // Type and category whole; the object column fills the list and cuts the long key, which
    // the cell's tip shows whole.
    EXPECT_EQ(Sum(list, 4), ClientWidth(list));
    EXPECT_GT(ListView_GetColumnWidth(list, 3), ListView_GetStringWidth(list, L"Comment"));
    for (int row = 0; row < 2; ++row) {
        EXPECT_EQ(view.CutText(row, 0), L"");
        EXPECT_EQ(view.CutText(row, 1), L"");
        EXPECT_EQ(view.CutText(row, 3), L"");
    }
    EXPECT_EQ(view.CutText(0, 2), W(longKey));
    EXPECT_EQ(view.CutText(1, 2), L"");

    // The tip under the mouse.
    RECT cell{};
    ListView_GetSubItemRect(list, 0, 2, LVIR_BOUNDS, &cell);
    POINT inCell{(cell.left + cell.right) / 2, (cell.top + cell.bottom) / 2};
    POINT onScreen = inCell;
    ClientToScreen(list, &onScreen);
    SetCursorPos(onScreen.x, onScreen.y);
    SendMessageW(list, WM_MOUSEMOVE, 0, MAKELPARAM(inCell.x, inCell.y));
    const DWORD deadline = GetTickCount() + 10000;
    while (!IsWindowVisible(view.tip()) && static_cast<int>(deadline - GetTickCount()) > 0)
        Settle(20);
    ASSERT_TRUE(IsWindowVisible(view.tip()));
    EXPECT_EQ(GetText(view.tip()), W(longKey));
    Screenshot("results-long-objects");

    // A wider window gives the room to the object column, which now shows the key whole.
    RECT frame{};
    GetWindowRect(window.hwnd(), &frame);
    const int before = ListView_GetColumnWidth(list, 2);
    SetWindowPos(window.hwnd(), nullptr, 0, 0, GetSystemMetrics(SM_CXSCREEN), frame.bottom - frame.top,
                 SWP_NOZORDER | SWP_NOMOVE);
    Settle();
    EXPECT_GT(ListView_GetColumnWidth(list, 2), before);
    EXPECT_EQ(Sum(list, 4), ClientWidth(list));
    EXPECT_EQ(view.CutText(0, 2), L"");

    // So does a new DPI.
    const int larger = window.fonts().dpi() * 3 / 2;
    GetWindowRect(window.hwnd(), &frame);
    SendMessageW(window.hwnd(), WM_DPICHANGED, MAKEWPARAM(larger, larger), reinterpret_cast<LPARAM>(&frame));
    Settle();
    EXPECT_EQ(Sum(list, 4), ClientWidth(list));
    EXPECT_EQ(view.CutText(0, 1), L"");

    // With more columns than these (a rule's name, say): short ones stay whole, the long ones
    // share what is left, the object column getting twice as much.
    EXPECT_EQ(FitColumns({90, 150, 2000, 70, 120}, {90, 80, 80, 70, 50}, 2, 800),
              (std::vector<int>{90, 150, 370, 70, 120}));
    EXPECT_EQ(FitColumns({90, 400, 2000, 70, 400}, {90, 80, 80, 70, 50}, 2, 630),
              (std::vector<int>{90, 117, 236, 70, 117}));
    EXPECT_EQ(FitColumns({90, 150, 300, 0, 120}, {90, 80, 80, 70, 50}, 2, 1000),
              (std::vector<int>{90, 150, 570, 70, 120}));
    // An empty column keeps its title's width.
    EXPECT_EQ(FitColumns({90, 150, 2000, 0, 120}, {90, 80, 80, 70, 50}, 2, 700),
              (std::vector<int>{90, 140, 280, 70, 120}));
}

TEST_F(MainWindowTest, PackageContentsNameThePackageAndEachObjectsOriginalPlace) {
    const std::string package = "C:\\Pellora\\Quarantine\\6-12-2026-9-5-7\\";
    const std::string deep = "C:\\Program Files\\Common Files\\Bonzi Software\\bonzi-helper.exe";
    fake.files.AddFile(package + "10000.qnf", "path|10000.qit|" + deep);
    fake.files.AddFile(package + "10001.qnf", "service|10001.qit|BonziService");
    app.quarantine().LoadToQuarantineList();
    app.navigation().ShowQuarantined();
    Settle();
    HWND packages = static_cast<ListPanelView*>(window.panel(Panel::Quarantined))->list().hwnd();
    SetFocus(packages);
    ListView_SetItemState(packages, 0, LVIS_FOCUSED | LVIS_SELECTED, LVIS_FOCUSED | LVIS_SELECTED);
    // Enter on the list opens the highlighted package, as a double click does.
    MSG enter = KeyMessage(packages, WM_KEYDOWN, VK_RETURN);
    ui.Dispatch(enter);
    Settle();
    ASSERT_TRUE(IsShown(Panel::QItems));

    auto* contents = static_cast<ListPanelView*>(window.panel(Panel::QItems));
    EXPECT_EQ(TextOf(contents->caption()), L"Package 6-12-2026-9-5-7 (scan of 06/12/2026  09:05:07): 2 items");
    HWND list = contents->list().hwnd();
    ASSERT_EQ(ListView_GetItemCount(list), 2);
    wchar_t text[256] = {};
    ListView_GetItemText(list, 0, 1, text, 256);
    EXPECT_STREQ(text, L"10000.qit");
    ListView_GetItemText(list, 0, 2, text, 256);
    EXPECT_EQ(std::wstring(text), W(deep));
    ListView_GetItemText(list, 1, 2, text, 256);
    EXPECT_STREQ(text, L"service BonziService");
    // The stored names keep their room; the original place takes the rest and shows whole.
    EXPECT_EQ(Sum(list, 3), ClientWidth(list));
    EXPECT_EQ(contents->list().CutText(0, 1), L"");
    EXPECT_EQ(contents->list().CutText(0, 2), L"");
    Screenshot("package-contents-places");
}

}  // namespace
}  // namespace pellora::gui::testing
