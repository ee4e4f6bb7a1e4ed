#include "gui/main_window.h"

#include <windowsx.h>
#include <utility>

#include "core/app/navigation.h"
#include "gui/dialogs.h"
#include "gui/images.h"
#include "gui/panels.h"

namespace pellora::gui {

namespace {

constexpr UINT kMsgFlush = WM_APP + 1;
constexpr int kAppIconId = 1;

bool IsPushButton(HWND hwnd) {
    wchar_t className[16] = {};
    GetClassNameW(hwnd, className, 16);
    if (lstrcmpiW(className, L"Button") != 0) return false;
    LONG type = GetWindowLongW(hwnd, GWL_STYLE) & BS_TYPEMASK;
    return type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON || type == BS_OWNERDRAW;
}

HICON LoadAppIcon(int size) {
    HANDLE icon = LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kAppIconId), IMAGE_ICON, size, size, 0);
    return icon ? static_cast<HICON>(icon) : LoadIconW(nullptr, IDI_APPLICATION);
}

}  // namespace

MainWindow::MainWindow(App& app, GuiCommands& commands, GuiUi& ui)
    : app_(app),
      commands_(commands),
      ui_(ui),
      context_{app, commands, fonts_, nullptr, nullptr, nullptr},
      handling_(*this, ui, [this] {
          if (commands_.SaveData) commands_.SaveData();
      }) {
    context_.showSelectionMenu = [this](CheckedList list, POINT at) { ShowSelectionMenu(list, at); };
}

MainWindow::~MainWindow() {
    if (hwnd_) DestroyWindow(hwnd_);
    if (context_.objectImages) ImageList_Destroy(context_.objectImages);
    if (context_.quarantineImages) ImageList_Destroy(context_.quarantineImages);
    // Icons of our own resource are ours to free; the system's stand-in is shared.
    for (HICON icon : {iconLarge_, iconSmall_}) {
        if (icon && icon != LoadIconW(nullptr, IDI_APPLICATION)) DestroyIcon(icon);
    }
    ui_.onChanged = nullptr;
    ui_.beforePump = nullptr;
    ui_.SetMainWindow(nullptr);
}

bool MainWindow::Create() {
    taskbarCreated_ = RegisterWindowMessageW(L"TaskbarCreated");
    iconLarge_ = LoadAppIcon(GetSystemMetrics(SM_CXICON));
    iconSmall_ = LoadAppIcon(GetSystemMetrics(SM_CXSMICON));
    if (!CreateWindowOf(L"PelloraMain", L"Dozevur Ezavuri", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, WS_EX_CONTROLPARENT,
                        CW_USEDEFAULT, CW_USEDEFAULT, 800, 600, nullptr)) {
        return false;
    }
    WireDialogs(app_, commands_, hwnd_, [this] { return fonts_.dpi(); });
    SendMessageW(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(iconLarge_));
    SendMessageW(hwnd_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(iconSmall_));
    const int dpi = DpiOf(hwnd_);
    fonts_.Create(dpi);
    CreateImages();

    nav_.Create(hwnd_);
    // The tray reports its clicks as mouse moves to this window, so real mouse moves must never
    // reach it: the navigation bar, the title and the panels cover the whole client area, and
    // the title (a static control, which would let the mouse through) takes SS_NOTIFY.
    title_ = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE | SS_OWNERDRAW | SS_NOPREFIX | SS_NOTIFY, 0, 0,
                             10, 10, hwnd_,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(kIdTitle)), GetModuleHandleW(nullptr),
                             nullptr);
    for (size_t i = 0; i < panels_.size(); ++i) {
        panels_[i] = CreatePanelView(static_cast<Panel>(i), context_);
        panels_[i]->Create(hwnd_);
    }

    // Client area of 840 x 580 at 100 %, centred on the screen.
    RECT frame{0, 0, Scale(840, dpi), Scale(580, dpi)};
    AdjustWindowRectEx(&frame, WS_OVERLAPPEDWINDOW, FALSE, WS_EX_CONTROLPARENT);
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    SetWindowPos(hwnd_, nullptr, (GetSystemMetrics(SM_CXSCREEN) - width) / 2,
                 (GetSystemMetrics(SM_CYSCREEN) - height) / 2, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
    Layout();

    // Focus rectangles appear once the keyboard is used, as in dialogs.
    SendMessageW(hwnd_, WM_CHANGEUISTATE, MAKEWPARAM(UIS_SET, UISF_HIDEFOCUS), 0);
    ui_.SetMainWindow(hwnd_);
    ui_.onChanged = [this](View view) { MarkChanged(view); };
    ui_.beforePump = [this] { FlushChanges(); };
    dirty_ = ~0u;
    FlushChanges();
    return true;
}

void MainWindow::CreateImages() {
    HIMAGELIST oldObjects = context_.objectImages;
    HIMAGELIST oldQuarantine = context_.quarantineImages;
    context_.objectImages = CreateObjectImages(fonts_.dpi());
    context_.quarantineImages = CreateQuarantineImages(fonts_.dpi());
    for (auto& panel : panels_) {
        if (panel) panel->ApplyFonts();
    }
    if (oldObjects) ImageList_Destroy(oldObjects);
    if (oldQuarantine) ImageList_Destroy(oldQuarantine);
}

void MainWindow::Layout() {
    // WM_SIZE arrives while the window is being created, before its parts exist.
    if (!hwnd_ || IsIconic(hwnd_) || !panels_.back()) return;
    RECT client;
    GetClientRect(hwnd_, &client);
    const int dpi = fonts_.dpi();
    const int navWidth = Scale(176, dpi);
    const int titleHeight = fonts_.lineHeight() * 2 + Scale(18, dpi);
    nav_.Layout({0, 0, navWidth, client.bottom});
    MoveWindow(title_, navWidth, 0, client.right - navWidth, titleHeight, TRUE);
    RECT area{navWidth, titleHeight, client.right, client.bottom};
    for (auto& panel : panels_) panel->Layout(area);
}

void MainWindow::MarkChanged(View view) {
    // The splash label changes a few times during start-up, while the main window is not shown
    // and yields are far apart: it is drawn at once.
    if (view == View::Splash) {
        if (onSplashChanged) onSplashChanged();
        return;
    }
    dirty_ |= 1u << static_cast<unsigned>(view);
    if (!flushPosted_ && hwnd_) flushPosted_ = PostMessageW(hwnd_, kMsgFlush, 0, 0) != FALSE;
}

void MainWindow::FlushChanges() {
    if (!hwnd_ || !panels_.back()) return;
    const uint32_t dirty = dirty_;
    dirty_ = 0;
    auto isDirty = [dirty](View view) { return (dirty & (1u << static_cast<unsigned>(view))) != 0; };
    if (isDirty(View::Panel)) ShowPanel(app_.state().panel);
    for (View view : {View::StatusFigures, View::Settings, View::ScanProgress, View::ScanResults, View::Irremovable,
                      View::IgnoreList, View::QuarantineList, View::QuarantineItems, View::Buttons, View::Update}) {
        if (!isDirty(view)) continue;
        for (auto& panel : panels_) panel->Refresh(view);
    }
    SyncTimers();
}

void MainWindow::ShowPanel(Panel panel) {
    shown_ = panel;
    for (auto& view : panels_) view->Show(view->id() == panel);
    SetWindowTextW(title_, W(PanelTitle(panel)).c_str());
    InvalidateRect(title_, nullptr, FALSE);
    nav_.SetCurrent(panel);
    // Keyboard focus must not stay on a control that has just been hidden.
    HWND focus = GetFocus();
    if (GetActiveWindow() == hwnd_ && (!focus || !IsWindowVisible(focus))) FocusPanel();
}

void MainWindow::FocusPanel() {
    if (lastFocus_ && IsWindow(lastFocus_) && IsWindowVisible(lastFocus_) && IsWindowEnabled(lastFocus_)) {
        SetFocus(lastFocus_);
        return;
    }
    lastFocus_ = nullptr;
    PanelView* panel = visiblePanel();
    HWND first = panel ? GetNextDlgTabItem(panel->hwnd(), nullptr, FALSE) : nullptr;
    if (first && first != panel->hwnd()) {
        SetFocus(first);
    } else {
        SetFocus(nav_.button(0));
    }
}

void MainWindow::SetTimerRunning(TimerId id, bool running, UINT intervalMs) {
    bool& current = timers_[id];
    if (current == running) return;
    current = running;
    if (running) {
        SetTimer(hwnd_, id, intervalMs, nullptr);
    } else {
        KillTimer(hwnd_, id);
    }
}

void MainWindow::SyncTimers() {
    const AppState& state = app_.state();
    SetTimerRunning(kTmrScrollingBar, state.scrollTimerEnabled, kScrollingBarMs);
    SetTimerRunning(kTmrTimer, state.autoScanTimerEnabled, kAutoScanMs);
    SetTimerRunning(kTmrHomePageCheck, state.homePageTimerEnabled, kHomePageCheckMs);
}

bool MainWindow::timerRunning(TimerId id) const {
    return timers_[id];
}

void MainWindow::OnCommand(int id, int code) {
    Navigation& navigation = app_.navigation();
    switch (id) {
        case kIdCmdStatus: navigation.lblCmdStatus_Click(); return;
        case kIdCmdScan: navigation.lblCmdScan_Click(); return;
        case kIdCmdSettings: navigation.lblCmdSettings_Click(); return;
        case kIdCmdHelp: navigation.lblCmdHelp_Click(); return;
        case kIdMnuPopUpOpenSpyRemove: handling_.RestoreWindow(); return;
        case kIdMnuPopUpExit:
            closeByUser_ = true;
            SendMessageW(hwnd_, WM_CLOSE, 0, 0);
            return;
        case IDOK: {
            // Enter presses the focused push button, else the panel's default button. (The
            // dialog manager would do the first itself, but only for a dialog's own children.)
            HWND focus = GetFocus();
            PanelView* panel = visiblePanel();
            if (focus && IsChild(hwnd_, focus) && IsPushButton(focus)) {
                if (!panel || !IsChild(panel->hwnd(), focus) || panel->EnterMayPress(GetDlgCtrlID(focus))) {
                    SendMessageW(focus, BM_CLICK, 0, 0);
                }
                return;
            }
            int defaultId = panel ? panel->DefaultButton() : 0;
            HWND button = defaultId ? panel->Control(defaultId) : nullptr;
            if (button && IsWindowEnabled(button) && IsWindowVisible(button)) panel->OnCommand(defaultId, BN_CLICKED);
            return;
        }
        case IDCANCEL:
            if (PanelView* panel = visiblePanel()) panel->Escape();
            return;
        default:
            // Enter on a focused button arrives here rather than at its panel (a click goes to
            // the panel itself).
            if (PanelView* panel = visiblePanel(); panel && panel->EnterMayPress(id))
                panel->OnCommand(id, code);
            return;
    }
}

void MainWindow::ShowSelectionMenu(CheckedList list, POINT at) {
    HMENU menu = CreatePopupMenu();
    AppendMenuW(menu, MF_STRING, kIdMnuSelectAll, L"Select &All\tCtrl+A");
    AppendMenuW(menu, MF_STRING, kIdMnuSelectNone, L"Select &None");
    AppendMenuW(menu, MF_STRING, kIdMnuSelectInverse, L"&Inverse Selection");
    int chosen = TrackPopupMenu(menu, TPM_RETURNCMD | TPM_NONOTIFY | TPM_RIGHTBUTTON, at.x, at.y, 0, hwnd_, nullptr);
    DestroyMenu(menu);
    if (!chosen || !commands_.select) return;
    Selection selection = chosen == kIdMnuSelectAll    ? Selection::All
                          : chosen == kIdMnuSelectNone ? Selection::None
                                                       : Selection::Inverse;
    commands_.select(list, selection);
}

void MainWindow::OnSize() {
    Layout();
    int left = 0;
    int top = 0;
    if (IsIconic(hwnd_) || IsZoomed(hwnd_)) {
        // A minimised window reports the system's parking place, a maximised one the screen's
        // corner; its normal place is the one worth remembering.
        WINDOWPLACEMENT placement{};
        placement.length = sizeof placement;
        GetWindowPlacement(hwnd_, &placement);
        left = placement.rcNormalPosition.left;
        top = placement.rcNormalPosition.top;
    } else {
        RECT rect;
        GetWindowRect(hwnd_, &rect);
        left = rect.left;
        top = rect.top;
    }
    handling_.Form_Resize(left, top);
}

void MainWindow::OnDpiChanged(int dpi, const RECT* suggested) {
    fonts_.Create(dpi);
    nav_.ApplyFonts();
    CreateImages();  // also gives every panel the new fonts
    if (suggested) {
        SetWindowPos(hwnd_, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                     suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
    }
    Layout();
}

void MainWindow::DrawTitle(const DRAWITEMSTRUCT& item) {
    const int dpi = fonts_.dpi();
    RECT rect = item.rcItem;
    FillRect(item.hDC, &rect, GetSysColorBrush(COLOR_WINDOW));
    RECT line{rect.left + Scale(16, dpi), rect.bottom - Scale(1, dpi) - 1, rect.right - Scale(16, dpi), rect.bottom - 1};
    HBRUSH lineBrush = CreateSolidBrush(RGB(215, 222, 232));
    FillRect(item.hDC, &line, lineBrush);
    DeleteObject(lineBrush);
    std::wstring text = GetText(title_);
    SetBkMode(item.hDC, TRANSPARENT);
    SetTextColor(item.hDC, kAccent);
    HGDIOBJ old = SelectObject(item.hDC, fonts_.title());
    RECT textRect{rect.left + Scale(16, dpi), rect.top, rect.right - Scale(16, dpi), rect.bottom};
    DrawTextW(item.hDC, text.c_str(), -1, &textRect, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS);
    SelectObject(item.hDC, old);
}

// ---- tray icon -----------------------------------------------------------------------------

bool MainWindow::AddIcon() {
    return Shell_NotifyIconW(NIM_ADD, &tray_) != FALSE;
}

void MainWindow::AddToSystemTray(bool otherInstance) {
    if (otherInstance || trayAdded_ || !hwnd_) return;
    tray_ = NOTIFYICONDATAW{};
    // The first layout of the record: window, id, callback message, icon and a 64-character tip.
    tray_.cbSize = NOTIFYICONDATAW_V1_SIZE;
    tray_.hWnd = hwnd_;
    tray_.uID = kTrayIconId;
    tray_.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    tray_.uCallbackMessage = WM_MOUSEMOVE;
    tray_.hIcon = iconSmall_;
    lstrcpynW(tray_.szTip, W(kTrayTip).c_str(), 64);
    AddIcon();
    // Remembered even when the shell is not there yet: TaskbarCreated then adds it.
    trayAdded_ = true;
}

void MainWindow::RemoveFromSystemTray() {
    if (!trayAdded_) return;
    Shell_NotifyIconW(NIM_DELETE, &tray_);
    trayAdded_ = false;
}

// ---- WindowOps -----------------------------------------------------------------------------

bool MainWindow::Minimized() {
    return IsIconic(hwnd_) != FALSE;
}

bool MainWindow::Maximized() {
    return IsZoomed(hwnd_) != FALSE;
}

void MainWindow::Hide() {
    ShowWindow(hwnd_, SW_HIDE);
}

void MainWindow::ShowNormal() {
    ShowWindow(hwnd_, SW_RESTORE);
    ShowWindow(hwnd_, SW_SHOW);
}

void MainWindow::MoveTo(int left, int top) {
    SetWindowPos(hwnd_, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
}

void MainWindow::BringToFront() {
    SetWindowPos(hwnd_, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    SetWindowPos(hwnd_, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}

void MainWindow::ShowTrayMenu() {
    ++trayMenus_;
    HMENU menu = CreatePopupMenu();
    AppendMenuW(menu, MF_STRING, kIdMnuPopUpOpenSpyRemove, L"Open Dozevur Ezavuri");
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(menu, MF_STRING, kIdMnuPopUpExit, L"Exit");
    SetMenuDefaultItem(menu, kIdMnuPopUpOpenSpyRemove, FALSE);
    POINT at;
    GetCursorPos(&at);
    // The window must be in front for the menu to close when the user clicks elsewhere.
    SetForegroundWindow(hwnd_);
    int chosen = TrackPopupMenu(menu, TPM_RETURNCMD | TPM_NONOTIFY | TPM_RIGHTBUTTON, at.x, at.y, 0, hwnd_, nullptr);
    PostMessageW(hwnd_, WM_NULL, 0, 0);
    DestroyMenu(menu);
    if (chosen) OnCommand(chosen, 0);
}

// ---- messages ------------------------------------------------------------------------------

LRESULT MainWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == taskbarCreated_ && taskbarCreated_ != 0) {
        // Explorer restarted: its new taskbar knows no icons.
        if (trayAdded_) AddIcon();
        return 0;
    }
    switch (message) {
        case WM_SIZE:
            OnSize();
            return 0;
        case WM_MOUSEMOVE:
            handling_.TrayMouse(GET_X_LPARAM(lParam));
            return 0;
        case WM_COMMAND:
            OnCommand(LOWORD(wParam), HIWORD(wParam));
            return 0;
        case WM_DRAWITEM: {
            auto* item = reinterpret_cast<DRAWITEMSTRUCT*>(lParam);
            if (item->hwndItem == title_) DrawTitle(*item);
            return TRUE;
        }
        case DM_GETDEFID:
            // The panels' controls are not this window's own children, which the dialog manager
            // would need; without a default here Enter comes as IDOK and OnCommand picks.
            return 0;
        case WM_TIMER: {
            // A handler that yields may see its own timer again inside; it must not nest. The
            // countdown is the exception: it counts on inside the scan it starts.
            if (wParam >= timers_.size() || (inTimer_[wParam] && wParam != kTmrTimer)) return 0;
            inTimer_[wParam] = true;
            const std::function<void()>* hook = wParam == kTmrScrollingBar ? &commands_.tmrScrollingBar_Timer
                                                : wParam == kTmrTimer      ? &commands_.tmrTimer_Timer
                                                                           : &commands_.tmrHomePageCheck_Timer;
            if (*hook) (*hook)();
            inTimer_[wParam] = false;
            return 0;
        }
        case kMsgFlush:
            flushPosted_ = false;
            FlushChanges();
            return 0;
        case WM_ACTIVATE:
            if (LOWORD(wParam) == WA_INACTIVE) {
                HWND focus = GetFocus();
                lastFocus_ = focus && IsChild(hwnd_, focus) ? focus : nullptr;
            } else if (onActivated) {
                onActivated();
            }
            break;
        case WM_SETFOCUS:
            // Like a dialog: the keyboard goes back to the control that had it, or to the first
            // control of the panel in view.
            FocusPanel();
            return 0;
        case WM_GETMINMAXINFO: {
            auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
            info->ptMinTrackSize.x = Scale(720, fonts_.dpi());
            info->ptMinTrackSize.y = Scale(520, fonts_.dpi());
            return 0;
        }
        case WM_SETTINGCHANGE:
            // The user changed the message font: the window follows.
            if (wParam == SPI_SETNONCLIENTMETRICS) OnDpiChanged(fonts_.dpi(), nullptr);
            break;
        case WM_DPICHANGED:
            OnDpiChanged(HIWORD(wParam), reinterpret_cast<const RECT*>(lParam));
            return 0;
        case WM_SYSCOMMAND:
            // The close box, Alt+F4 and the system menu: the user closes the window.
            if ((wParam & 0xFFF0) == SC_CLOSE) closeByUser_ = true;
            break;
        case WM_CLOSE: {
            const bool byUser = std::exchange(closeByUser_, false);
            if (commands_.Form_Unload && !commands_.Form_Unload(byUser)) return 0;
            DestroyWindow(hwnd_);
            return 0;
        }
        case WM_ENDSESSION:
            // Windows is logging off: the process ends without an unload, so the settings
            // lists are written now rather than lost.
            if (wParam && commands_.SaveData) commands_.SaveData();
            return 0;
        case WM_DESTROY:
            RemoveFromSystemTray();
            for (UINT_PTR id : {kTmrScrollingBar, kTmrTimer, kTmrHomePageCheck}) KillTimer(hwnd_, id);
            timers_ = {};
            if (quitOnDestroy) PostQuitMessage(0);
            return 0;
        default:
            break;
    }
    return WindowBase::HandleMessage(message, wParam, lParam);
}

}  // namespace pellora::gui
