#include "gui_fixture.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <set>

namespace pellora::gui::testing {

std::wstring WithoutMnemonic(std::wstring text) {
    size_t at = text.find(L'&');
    if (at != std::wstring::npos)
        text.erase(at, 1);
    return text;
}

MSG KeyMessage(HWND target, UINT message, WPARAM key) {
    MSG msg{};
    msg.hwnd = target;
    msg.message = message;
    msg.wParam = key;
    msg.lParam = message == WM_SYSCHAR ? (1 << 29) : 0;  // Alt held
    return msg;
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
    if (window.hwnd())
        DestroyWindow(window.hwnd());
    Settle();
}

void MainWindowTest::Settle(int milliseconds) {
    DWORD end = GetTickCount() + static_cast<DWORD>(milliseconds);
    do {
        ui.Pump();
        window.FlushChanges();
        if (milliseconds > 0)
            Sleep(10);
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
        if (IsShown(static_cast<Panel>(i)))
            ++visible;
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

namespace {

uint32_t BigEndian32(const unsigned char* bytes) {
    return (uint32_t{bytes[0]} << 24) | (uint32_t{bytes[1]} << 16) | (uint32_t{bytes[2]} << 8) | bytes[3];
}

// The framebuffer file as a Windows path: Wine's drive Z: is the Unix root.
std::wstring ScreenFilePath() {
    const char* file = std::getenv("PELLORA_SCREEN_FILE");
    if (!file || !*file)
        return L"";
    std::wstring path = W(file);
    for (wchar_t& c : path) {
        if (c == L'/')
            c = L'\\';
    }
    return path.front() == L'\\' ? L"Z:" + path : path;
}

}  // namespace

RECT ClientOnScreen(HWND hwnd) {
    RECT client{};
    GetClientRect(hwnd, &client);
    POINT origin{0, 0};
    ClientToScreen(hwnd, &origin);
    return RECT{origin.x, origin.y, origin.x + client.right, origin.y + client.bottom};
}

std::optional<ScreenPixels> CaptureXServer(const RECT& area) {
    const std::wstring path = ScreenFilePath();
    if (path.empty())
        return std::nullopt;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return std::nullopt;
    // An X window dump: a big-endian header (its own length first), the colour map, then the
    // pixel rows. Xvfb's 24-bit screen keeps 32 bits a pixel, blue first.
    unsigned char header[100];
    DWORD read = 0;
    std::optional<ScreenPixels> result;
    if (ReadFile(file, header, sizeof header, &read, nullptr) && read == sizeof header) {
        const uint32_t headerLength = BigEndian32(header);
        const uint32_t screenWidth = BigEndian32(header + 4 * 4);
        const uint32_t screenHeight = BigEndian32(header + 5 * 4);
        const uint32_t bitsPerPixel = BigEndian32(header + 11 * 4);
        const uint32_t bytesPerLine = BigEndian32(header + 12 * 4);
        const uint32_t colours = BigEndian32(header + 19 * 4);
        const int left = std::max<int>(area.left, 0);
        const int top = std::max<int>(area.top, 0);
        const int right = std::min<int>(area.right, static_cast<int>(screenWidth));
        const int bottom = std::min<int>(area.bottom, static_cast<int>(screenHeight));
        if (bitsPerPixel == 32 && right > left && bottom > top) {
            ScreenPixels shot;
            shot.width = right - left;
            shot.height = bottom - top;
            shot.stride = ((shot.width * 3 + 3) / 4) * 4;
            shot.bytes.resize(static_cast<size_t>(shot.stride) * shot.height);
            std::vector<unsigned char> row(static_cast<size_t>(shot.width) * 4);
            const uint64_t pixels = uint64_t{headerLength} + uint64_t{colours} * 12;
            bool complete = true;
            for (int y = 0; y < shot.height && complete; ++y) {
                LARGE_INTEGER at;
                at.QuadPart = static_cast<LONGLONG>(pixels + uint64_t(top + y) * bytesPerLine + uint64_t(left) * 4);
                complete = SetFilePointerEx(file, at, nullptr, FILE_BEGIN) &&
                           ReadFile(file, row.data(), static_cast<DWORD>(row.size()), &read, nullptr) &&
                           read == row.size();
                // Bottom row first, three bytes a pixel, as CaptureScreen gives them.
                unsigned char* out = shot.bytes.data() + static_cast<size_t>(shot.height - 1 - y) * shot.stride;
                for (int x = 0; x < shot.width && complete; ++x) {
                    out[x * 3] = row[x * 4];
                    out[x * 3 + 1] = row[x * 4 + 1];
                    out[x * 3 + 2] = row[x * 4 + 2];
                }
            }
            if (complete) {
                shot.left = left;
                shot.top = top;
                result = std::move(shot);
            }
        }
    }
    CloseHandle(file);
    return result;
}

ScreenPixels Crop(const ScreenPixels& shot, const RECT& area) {
    ScreenPixels part;
    const int left = std::max<int>(area.left, shot.left);
    const int top = std::max<int>(area.top, shot.top);
    const int right = std::min<int>(area.right, shot.left + shot.width);
    const int bottom = std::min<int>(area.bottom, shot.top + shot.height);
    if (right <= left || bottom <= top)
        return part;
    part.left = left;
    part.top = top;
    part.width = right - left;
    part.height = bottom - top;
    part.stride = ((part.width * 3 + 3) / 4) * 4;
    part.bytes.resize(static_cast<size_t>(part.stride) * part.height);
    for (int y = 0; y < part.height; ++y) {
        // Rows are kept bottom first.
        const int sourceRow = shot.height - 1 - (top - shot.top + y);
        const unsigned char* from =
            shot.bytes.data() + static_cast<size_t>(sourceRow) * shot.stride + (left - shot.left) * 3;
        unsigned char* to = part.bytes.data() + static_cast<size_t>(part.height - 1 - y) * part.stride;
        std::copy(from, from + part.width * 3, to);
    }
    return part;
}

std::optional<ScreenPixels> SettledXServerScreen(const std::function<void()>& pump) {
    const RECT screen{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    std::optional<ScreenPixels> last;
    while (std::chrono::steady_clock::now() < deadline) {
        if (pump)
            pump();
        Sleep(100);
        std::optional<ScreenPixels> now = CaptureXServer(screen);
        if (!now)
            return std::nullopt;
        if (last && DifferingPixelCount(*last, *now) == 0)
            return now;
        last = std::move(now);
    }
    return std::nullopt;
}

namespace {

size_t CountPixels(const ScreenPixels& shot, const std::function<bool(int luminance)>& counts) {
    size_t count = 0;
    for (int y = 0; y < shot.height; ++y) {
        const unsigned char* row = shot.bytes.data() + static_cast<size_t>(y) * shot.stride;
        for (int x = 0; x < shot.width; ++x) {
            if (counts((row[x * 3] * 11 + row[x * 3 + 1] * 59 + row[x * 3 + 2] * 30) / 100))
                ++count;
        }
    }
    return count;
}

}  // namespace

size_t DarkPixelCount(const ScreenPixels& shot) {
    return CountPixels(shot, [](int luminance) { return luminance < 110; });
}

size_t LightPixelCount(const ScreenPixels& shot) {
    return CountPixels(shot, [](int luminance) { return luminance > 170; });
}

size_t DifferingPixelCount(const ScreenPixels& a, const ScreenPixels& b) {
    if (a.width != b.width || a.height != b.height)
        return static_cast<size_t>(std::max(a.width * a.height, b.width * b.height));
    size_t differing = 0;
    for (int y = 0; y < a.height; ++y) {
        const unsigned char* rowA = a.bytes.data() + static_cast<size_t>(y) * a.stride;
        const unsigned char* rowB = b.bytes.data() + static_cast<size_t>(y) * b.stride;
        for (int x = 0; x < a.width * 3; x += 3) {
            if (rowA[x] != rowB[x] || rowA[x + 1] != rowB[x + 1] || rowA[x + 2] != rowB[x + 2])
                ++differing;
        }
    }
    return differing;
}

bool LooksPainted(const ScreenPixels& shot, const ScreenPixels* before) {
    // A painted dialog or box is a light background (at least a third of it) with text on it
    // (dark pixels: one short line gives a few hundred, yet far from all of it), and is not what
    // the screen showed there before (`before` covers at least that rectangle). An unpainted X
    // window is black, or keeps what was under it; Xvfb draws the pointer into the framebuffer,
    // so a few odd pixels prove nothing.
    const size_t area = static_cast<size_t>(shot.width) * shot.height;
    if (area == 0)
        return false;
    const size_t dark = DarkPixelCount(shot);
    if (LightPixelCount(shot) * 3 < area || dark < 100 || dark * 2 > area)
        return false;
    if (!before)
        return true;
    const ScreenPixels under = Crop(*before, RECT{shot.left, shot.top, shot.left + shot.width, shot.top + shot.height});
    return DifferingPixelCount(shot, under) * 100 >= area;
}

ScreenPixels WaitForPaintedOnXServer(HWND hwnd, const ScreenPixels* before, const std::function<void()>& pump) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    ScreenPixels last;
    while (true) {
        if (pump)
            pump();
        if (std::optional<ScreenPixels> shot = CaptureXServer(ClientOnScreen(hwnd))) {
            last = std::move(*shot);
            if (LooksPainted(last, before))
                return last;
        }
        if (std::chrono::steady_clock::now() > deadline)
            return last;
        Sleep(20);
    }
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
    // What the X server shows where the display keeps its framebuffer in a file, else what
    // Wine's screen device context gives.
    std::optional<ScreenPixels> onScreen = CaptureXServer(ClientOnScreen(hwnd));
    ScreenPixels shot = onScreen ? std::move(*onScreen) : CaptureScreen(hwnd);

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
