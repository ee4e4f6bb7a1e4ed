// Base of the five option dialogs: a modal dialog from an empty in-memory template whose
// controls are created and laid out in code, like the panels, with the system's message font at
// the owner's DPI. The dialog manager gives Tab, mnemonics, Enter (IDOK: the dialog's OnOk, which
// may refuse and keep the dialog open) and Escape (IDCANCEL: closes without storing).
//
// A dialog reads its lines in OnInit and writes them only in OnOk; closing any other way
// discards the edit.
#pragma once

#include "gui/win.h"

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "core/app/app.h"
#include "gui/gui_util.h"

namespace pellora::gui {

class DialogBase {
  public:
    DialogBase(App& app, std::wstring title) : app_(app), title_(std::move(title)) {}
    virtual ~DialogBase() = default;
    DialogBase(const DialogBase&) = delete;
    DialogBase& operator=(const DialogBase&) = delete;

    // Shows the dialog modally over `owner`, laid out for `dpi` (0: the owner's); true when it
    // was closed by a successful OK.
    bool ShowModal(HWND owner, int dpi = 0);
    HWND hwnd() const { return hwnd_; }
    HWND Control(int id) const { return GetDlgItem(hwnd_, id); }

    // Tests: runs inside the dialog's modal loop once the dialog is shown and drawn.
    static std::function<void(DialogBase&)> onShown;

  protected:
    // Creates the controls (their fonts are set afterwards) and fills them from the lists.
    virtual void OnInit() = 0;
    // Places the controls for the current fonts; returns the client size needed.
    virtual SIZE OnLayout() = 0;
    // Stores the fields; false keeps the dialog open (the dialog has told the user why).
    virtual bool OnOk() = 0;
    virtual bool OnCommand(int /*id*/, int /*code*/) { return false; }
    virtual bool OnNotify(NMHDR* /*header*/, LRESULT& /*result*/) { return false; }
    virtual INT_PTR OnOtherMessage(UINT /*message*/, WPARAM /*wParam*/, LPARAM /*lParam*/, bool& handled) {
        handled = false;
        return 0;
    }

    HWND AddLabel(const std::wstring& text, DWORD style = 0);
    HWND AddButton(const std::wstring& text, int id, bool isDefault = false);
    HWND AddCheck(const std::wstring& text, int id);
    HWND AddEdit(int id, DWORD style = 0);
    HWND AddControl(const wchar_t* className, const std::wstring& text, DWORD style, DWORD exStyle, int id);
    // Shows `text` as the control's tooltip (one tooltip window per dialog, made on first use).
    void AddTip(HWND tool, const wchar_t* text);
    // Tells the user something with the dialog as owner (through the UI port, so tests see it).
    void Tell(const std::string& text, MsgIcon icon);

    int S(int pixelsAt96) const { return Scale(pixelsAt96, fonts_.dpi()); }
    int Margin() const { return S(12); }
    int LineHeight() const { return fonts_.lineHeight(); }
    int ButtonHeight() const { return std::max(S(24), LineHeight() + S(10)); }
    int EditHeight() const { return LineHeight() + S(8); }
    int TextWidthOf(HWND control) const;
    int ButtonWidth(HWND button) const;
    // Height of a wrapped label's text at `width`.
    int WrappedHeight(HWND label, int width) const;
    static void Place(HWND control, int x, int y, int width, int height);
    // The OK/Cancel row, right-aligned at `top`; returns the row's bottom.
    int PlaceButtonRow(const std::vector<HWND>& buttons, int width, int top);

    App& app_;
    HWND hwnd_ = nullptr;
    Fonts fonts_;

  private:
    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void Initialise();
    void ApplyFontsAndLayout(bool center);

    std::wstring title_;
    HWND owner_ = nullptr;
    HWND tips_ = nullptr;
    int dpi_ = 0;
};

}  // namespace pellora::gui
