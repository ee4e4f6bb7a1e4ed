#include "gui/gui_ui.h"

#include "gui/gui_util.h"

namespace pellora::gui {

namespace {
constexpr uint64_t kPumpIntervalMs = 20;
constexpr uint64_t kClockStride = 8;
}  // namespace

void GuiUi::Yield() {
    if (++calls_ < kClockStride) return;
    calls_ = 0;
    const uint64_t now = GetTickCount64();
    if (now - lastPumpMs_ < kPumpIntervalMs) return;
    lastPumpMs_ = now;
    Pump();
}

bool GuiUi::Pump() {
    if (quitSeen_) return false;
    ++pumps_;
    if (beforePump) beforePump();
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            // The outer message loop must see it too.
            quitSeen_ = true;
            PostQuitMessage(static_cast<int>(message.wParam));
            return false;
        }
        Dispatch(message);
    }
    return true;
}

void GuiUi::Dispatch(MSG& message) {
    if (main_ && IsWindow(main_) && IsDialogMessageW(main_, &message)) return;
    TranslateMessage(&message);
    DispatchMessageW(&message);
}

MsgAnswer GuiUi::Message(const std::string& text, const std::string& title, MsgButtons buttons, MsgIcon icon) {
    if (messageHook) return messageHook(text, title, buttons, icon);
    UINT flags = buttons == MsgButtons::YesNo ? MB_YESNO : MB_OK;
    switch (icon) {
        case MsgIcon::Error: flags |= MB_ICONERROR; break;
        case MsgIcon::Question: flags |= MB_ICONQUESTION; break;
        case MsgIcon::Information: flags |= MB_ICONINFORMATION; break;
        case MsgIcon::Exclamation: flags |= MB_ICONEXCLAMATION; break;
        case MsgIcon::None: break;
    }
    // The box belongs to the window the user works in: an open option dialog, else the main
    // window. (Owned by the main window while a dialog is open, the box would enable the main
    // window again when it closes, under the dialog.) A hidden main window (minimised to the
    // tray) cannot own a visible message box.
    HWND owner = GetActiveWindow();
    if (!owner || !IsWindowVisible(owner) || !IsWindowEnabled(owner))
        owner = main_ && IsWindowVisible(main_) ? main_ : nullptr;
    if (!owner)
        flags |= MB_SETFOREGROUND | MB_TOPMOST;
    if (beforeMessage)
        beforeMessage();
    int answer = MessageBoxW(owner, W(text).c_str(), W(title).c_str(), flags);
    if (afterMessage)
        afterMessage();
    if (answer == IDYES)
        return MsgAnswer::Yes;
    if (answer == IDNO)
        return MsgAnswer::No;
    return MsgAnswer::Ok;
}

void GuiUi::Changed(View view) {
    if (onChanged) onChanged(view);
}

}  // namespace pellora::gui
