// One panel of the main window's working area: a child window that creates its controls, lays
// them out for the current DPI and fonts, renders the part of the model it shows and turns its
// controls' events into core calls. The main window only creates the ten panels, keeps exactly
// one visible and tells them when the model or the DPI changed.
#pragma once

#include "gui/win.h"

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "core/app/app.h"
#include "core/ports/ui.h"
#include "gui/commands.h"
#include "gui/gui_util.h"
#include "gui/window_base.h"

namespace pellora::gui {

// What every panel may use, owned by the main window.
struct PanelContext {
    App& app;
    GuiCommands& commands;
    Fonts& fonts;
    HIMAGELIST objectImages = nullptr;
    HIMAGELIST quarantineImages = nullptr;
    // Shows the selection menu of a check-box list at a point of the screen.
    std::function<void(CheckedList, POINT)> showSelectionMenu;
};

class PanelView : public WindowBase {
public:
    PanelView(Panel id, PanelContext& context) : id_(id), context_(context) {}

    Panel id() const { return id_; }
    bool Create(HWND parent);
    void Show(bool visible);
    void Layout(const RECT& rect);
    // New fonts or DPI: every control takes the fonts again and the panel is laid out anew.
    void ApplyFonts();

    // Renders one part of the model; panels ignore the parts they do not show.
    virtual void Refresh(View view) = 0;
    // The button Enter presses on this panel (0: none) and what Escape does.
    virtual int DefaultButton() const { return 0; }
    // Whether Enter may press the button `id` (also when it has the focus).
    virtual bool EnterMayPress(int /*id*/) const { return true; }
    virtual bool Escape() { return false; }
    // A command from a control of this panel (also when the keyboard handling of the main
    // window delivers it there).
    virtual bool OnCommand(int /*id*/, int /*code*/) { return false; }

    // Finds a control of the panel by id (tests and keyboard handling).
    HWND Control(int id) const { return GetDlgItem(hwnd_, id); }

protected:
    virtual void CreateControls() = 0;
    virtual void OnLayout(int width, int height) = 0;
    virtual bool OnNotify(NMHDR*, LRESULT&) { return false; }
    virtual void OnDrawItem(DRAWITEMSTRUCT*) {}

    HWND AddLabel(const std::string& text, int id = -1, DWORD style = 0);
    HWND AddButton(const std::wstring& text, int id);
    HWND AddCheck(const std::string& text, int id);
    HWND AddRadio(const std::string& text, int id, bool firstOfGroup);
    void MarkBold(HWND control) { boldControls_.push_back(control); }
    void MarkTitle(HWND control) { titleControls_.push_back(control); }

    int S(int pixelsAt96) const { return Scale(pixelsAt96, context_.fonts.dpi()); }
    int Margin() const { return S(16); }
    int LineHeight() const { return context_.fonts.lineHeight(); }
    int RowHeight() const { return LineHeight() + S(10); }
    int ButtonHeight() const { return std::max(S(26), LineHeight() + S(12)); }
    // Wide enough for the control's text at the current font, never below `minimumAt96`.
    int ButtonWidth(HWND button, int minimumAt96 = 96) const;
    int TextWidthOf(HWND control) const;
    // Height of a word-wrapped label's text at `width`.
    int WrappedHeight(HWND label, int width) const;
    static void Place(HWND control, int x, int y, int width, int height);
    // Lays a row of buttons out right-aligned at the bottom; returns the row's top.
    int PlaceButtonRow(const std::vector<HWND>& left, const std::vector<HWND>& right, int width, int height);

    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

    AppState& state() { return context_.app.state(); }
    GuiCommands& commands() { return context_.commands; }
    static void Run(const std::function<void()>& hook) {
        if (hook) hook();
    }

    Panel id_;
    PanelContext& context_;
    std::vector<HWND> boldControls_;
    std::vector<HWND> titleControls_;
    int width_ = 0;
    int height_ = 0;
};

}  // namespace pellora::gui
