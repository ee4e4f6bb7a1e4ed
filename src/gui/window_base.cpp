#include "gui/window_base.h"

#include <new>

namespace pellora::gui {

bool WindowBase::CreateWindowOf(const wchar_t* className,
                                const wchar_t* title,
                                DWORD style,
                                DWORD exStyle,
                                int x,
                                int y,
                                int width,
                                int height,
                                HWND parent,
                                HMENU menu) {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW wc{};
    if (!GetClassInfoExW(instance, className, &wc)) {
        wc = WNDCLASSEXW{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = WindowProc;
        wc.hInstance = instance;
        wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
        wc.lpszClassName = className;
        RegisterExtras(wc);
        RegisterClassExW(&wc);
    }
    return CreateWindowExW(exStyle, className, title, style, x, y, width, height, parent, menu, instance, this) !=
           nullptr;
}

LRESULT WindowBase::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcW(hwnd_, message, wParam, lParam);
}

LRESULT CALLBACK WindowBase::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    WindowBase* self = nullptr;
    if (message == WM_NCCREATE) {
        self = static_cast<WindowBase*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        self->hwnd_ = hwnd;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    } else {
        self = reinterpret_cast<WindowBase*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    }
    if (!self)
        return DefWindowProcW(hwnd, message, wParam, lParam);
    LRESULT result = 0;
    // An exception must not cross the system's callback: running out of memory in a handler
    // stops that handler with a message, never the elevated process without a word.
    try {
        result = self->HandleMessage(message, wParam, lParam);
    } catch (const std::bad_alloc&) {
        MessageBoxW(nullptr, L"Pellora ran out of memory; the operation was stopped.", L"Pellora",
                    MB_OK | MB_ICONERROR | MB_TASKMODAL);
    }
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        self->hwnd_ = nullptr;
    }
    return result;
}

}  // namespace pellora::gui
