#include "gui_fixture.h"

#include <cstdio>
#include <set>

namespace pellora::gui::testing {

std::wstring WithoutMnemonic(std::wstring text) {
    size_t at = text.find(L'&');
    if (at != std::wstring::npos) text.erase(at, 1);
    return text;
}

MainWindowTest::MainWindowTest() {
    ui.messageHook = [this](const std::string& text, const std::string& title, MsgButtons buttons, MsgIcon icon) {
        messages.push_back({text, title, buttons, icon});
        return buttons == MsgButtons::YesNo ? MsgAnswer::No : MsgAnswer::Ok;
    };
    WireCommands(app, commands);
    window.quitOnDestroy = false;
    EXPECT_TRUE(window.Create());
    ShowWindow(window.hwnd(), SW_SHOWNORMAL);
    SetForegroundWindow(window.hwnd());
    Settle();
}

int MainWindowTest::OpenDialog(Panel panel, int id, const std::function<void(DialogBase&)>& inside) {
    int shown = 0;
    DialogBase::onShown = [&](DialogBase& dialog) {
        ++shown;
        inside(dialog);
        if (IsWindow(dialog.hwnd()))
            PostMessageW(dialog.hwnd(), WM_COMMAND, IDCANCEL, 0);
    };
    app.navigation().Show(panel);
    Settle();
    ClickInPanel(panel, id);
    DialogBase::onShown = nullptr;
    return shown;
}

MainWindowTest::~MainWindowTest() {
    if (window.hwnd()) DestroyWindow(window.hwnd());
    Settle();
}

void MainWindowTest::Settle(int milliseconds) {
    DWORD end = GetTickCount() + static_cast<DWORD>(milliseconds);
    do {
        ui.Pump();
        window.FlushChanges();
        if (milliseconds > 0) Sleep(10);
    } while (static_cast<int>(end - GetTickCount()) > 0);
}

void MainWindowTest::Click(HWND button) {
    ASSERT_NE(button, nullptr);
    SendMessageW(button, BM_CLICK, 0, 0);
    Settle();
}

void MainWindowTest::ClickInPanel(Panel panel, int id) {
    Click(window.panel(panel)->Control(id));
}

std::wstring MainWindowTest::TextOf(HWND control) const {
    return WithoutMnemonic(GetText(control));
}

size_t MainWindowTest::ListCount(Panel panel) {
    auto* view = dynamic_cast<ListPanelView*>(window.panel(panel));
    return view ? static_cast<size_t>(ListView_GetItemCount(view->list().hwnd())) : 0;
}

int MainWindowTest::VisiblePanelCount() const {
    int visible = 0;
    for (int i = 0; i < 10; ++i) {
        if (IsShown(static_cast<Panel>(i))) ++visible;
    }
    return visible;
}

bool MainWindowTest::IsShown(Panel panel) const {
    return (GetWindowLongW(window.panel(panel)->hwnd(), GWL_STYLE) & WS_VISIBLE) != 0;
}

namespace {
BITMAPINFOHEADER BitmapHeader(const ScreenPixels& shot) {
    BITMAPINFOHEADER info{};
    info.biSize = sizeof info;
    info.biWidth = shot.width;
    info.biHeight = shot.height;
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    return info;
}
}  // namespace

ScreenPixels CaptureScreen(HWND hwnd) {
    ScreenPixels shot;
    RECT rect;
    GetWindowRect(hwnd, &rect);
    shot.width = rect.right - rect.left;
    shot.height = rect.bottom - rect.top;
    if (shot.width <= 0 || shot.height <= 0)
        return shot;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, shot.width, shot.height);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, shot.width, shot.height, screen, rect.left, rect.top, SRCCOPY);
    SelectObject(memory, old);

    BITMAPINFOHEADER info = BitmapHeader(shot);
    shot.stride = ((shot.width * 3 + 3) / 4) * 4;
    shot.bytes.resize(static_cast<size_t>(shot.stride) * shot.height);
    GetDIBits(memory, bitmap, 0, shot.height, shot.bytes.data(), reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return shot;
}

size_t ScreenPixels::DistinctColours(size_t limit) const {
    std::set<uint32_t> colours;
    for (int y = 0; y < height && colours.size() < limit; ++y) {
        const unsigned char* row = bytes.data() + static_cast<size_t>(y) * stride;
        for (int x = 0; x < width && colours.size() < limit; ++x) {
            colours.insert(row[x * 3] | (row[x * 3 + 1] << 8) | (row[x * 3 + 2] << 16));
        }
    }
    return colours.size();
}

void MainWindowTest::Screenshot(const std::string& name, HWND hwnd) {
    if (!hwnd) {
        hwnd = window.hwnd();
        // The screen can only be read inside its bounds: a window that reaches past them moves
        // to the top left corner first.
        RECT place;
        GetWindowRect(hwnd, &place);
        UINT flags = SWP_NOSIZE | SWP_SHOWWINDOW;
        if (place.left >= 0 && place.top >= 0 && place.right <= GetSystemMetrics(SM_CXSCREEN) &&
            place.bottom <= GetSystemMetrics(SM_CYSCREEN)) {
            flags |= SWP_NOMOVE;
        }
        SetWindowPos(hwnd, HWND_TOP, 0, 0, 0, 0, flags);
    }
    RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW | RDW_FRAME);
    Settle(150);
    ScreenPixels shot = CaptureScreen(hwnd);

    BITMAPINFOHEADER info = BitmapHeader(shot);
    const std::string folder = "screenshots\\" + std::to_string(window.fonts().dpi());
    CreateDirectoryW(L"screenshots", nullptr);
    CreateDirectoryW(W(folder).c_str(), nullptr);
    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof info;
    file.bfSize = file.bfOffBits + static_cast<DWORD>(shot.bytes.size());
    FILE* out = _wfopen(W(folder + "\\" + name + ".bmp").c_str(), L"wb");
    ASSERT_NE(out, nullptr);
    fwrite(&file, sizeof file, 1, out);
    fwrite(&info, sizeof info, 1, out);
    fwrite(shot.bytes.data(), 1, shot.bytes.size(), out);
    fclose(out);
}

}  // namespace pellora::gui::testing
