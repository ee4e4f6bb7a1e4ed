// The UI port of the window: message boxes, the yield that keeps the window alive during long
// operations, and change notices that the main window turns into repaints.
//
// Yield is called very often (after every listed file), so it pumps the message queue only when
// about 20 ms have passed since the last pump. The clock is read on every eighth call: a million
// yields then cost well under a millisecond of clock reads, and work of up to ~10 ms between
// two calls still gets "Abort" and repaints served within a tenth of a second.
#pragma once

#include "gui/win.h"

#include <cstdint>
#include <functional>
#include <string>

#include "core/ports/ui.h"

namespace pellora::gui {

class GuiUi : public UiPort {
public:
    void Yield() override;
    MsgAnswer Message(const std::string& text, const std::string& title, MsgButtons buttons, MsgIcon icon) override;
    void Changed(View view) override;

    // The window whose keyboard handling the pump applies and that owns message boxes.
    void SetMainWindow(HWND hwnd) { main_ = hwnd; }
    // Where change notices go (the main window's repaint), and what runs before each pump.
    std::function<void(View)> onChanged;
    std::function<void()> beforePump;
    // Run just before a message box is shown and after it is answered.
    std::function<void()> beforeMessage;
    std::function<void()> afterMessage;
    // Tests answer message boxes here instead of showing them.
    std::function<MsgAnswer(const std::string& text, const std::string& title, MsgButtons, MsgIcon)> messageHook;

    // Serves every waiting message now. Returns false once WM_QUIT was seen (it is posted
    // again so the outer loop ends too).
    bool Pump();
    // One message through the window's keyboard handling and on to its window procedure.
    void Dispatch(MSG& message);

    uint64_t pumpCount() const { return pumps_; }
    bool quitSeen() const { return quitSeen_; }

private:
    HWND main_ = nullptr;
    uint64_t calls_ = 0;
    uint64_t lastPumpMs_ = 0;
    uint64_t pumps_ = 0;
    bool quitSeen_ = false;
};

}  // namespace pellora::gui
