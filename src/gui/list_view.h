// A thin wrapper of an owner-data (virtual) list view: the control holds no rows, it asks for
// the text, image and check mark of the rows it paints, so a table of a million rows costs the
// model's memory only. Check marks live in the model: a click on the check box or the space bar
// toggles them through `toggle`, and the control's own idea of the check state is never used.
//
// Columns are sized to their content within the list: a column keeps its whole text where the
// room allows, the one column marked `fill` takes the room the others leave, and where the room
// is short the longest texts are cut (the fill column keeps up to twice the width of any other
// cut column). A cut cell shows its whole text as a tip under the mouse.
//
// The keyboard reaches what the mouse does: the context-menu key and Shift+F10 ask for the
// context menu at the focused row, Ctrl+A for "select all".
#pragma once

#include "gui/win.h"

#include <functional>
#include <string>
#include <vector>

namespace pellora::gui {

class VirtualList {
public:
    struct Column {
        const wchar_t* title;
        // The least width at 96 DPI the column keeps however short its texts (0: its title).
        int widthAt96 = 0;
        // Words the column must show whole, separated by "|" (the first column also gets room
        // for the check box and the image).
        const wchar_t* mustFit = nullptr;
        // Takes the room the other columns leave (at most one column).
        bool fill = false;
    };

    VirtualList() = default;
    VirtualList(const VirtualList&) = delete;
    VirtualList& operator=(const VirtualList&) = delete;

    HWND Create(HWND parent, int id, bool checkBoxes, const std::vector<Column>& columns);
    HWND hwnd() const { return hwnd_; }
    HWND tip() const { return tip_; }

    void SetImageList(HIMAGELIST images);
    // The number of rows; repaints what is visible and sizes the columns to a changed content.
    void SetCount(size_t count);
    size_t Count() const { return count_; }
    // Sizes the columns for a DPI and the list's present width (after a layout).
    void Rescale(int dpi);

    // Model access.
    std::function<std::string(size_t row, int column)> text;
    std::function<int(size_t row)> image;  // 1-based image index, 0 for none
    std::function<bool(size_t row)> checked;
    std::function<void(size_t row)> toggle;
    // Events. `onContextMenu` gets the screen point the menu belongs at: the mouse's, or for the
    // keyboard the focused row's.
    std::function<void(POINT at)> onContextMenu;
    std::function<void()> onSelectAll;  // Ctrl+A
    std::function<void()> onDoubleClick;
    std::function<void(int row)> onFocus;  // focused row, -1 for none

    // Handles the control's notifications; true when it was one of them.
    bool OnNotify(NMHDR* header, LRESULT& result);

    // Toggles the check mark of a row as a click on its box would.
    void ToggleRow(size_t row);
    int FocusedRow() const;
    // No row selected or focused.
    void ClearSelection();
    // The text a tip shows for a cell: its whole text when the column cuts it, else nothing.
    std::wstring CutText(int row, int column) const;
    // Where a menu asked for from the keyboard opens (screen coordinates).
    POINT KeyboardMenuPoint() const;

  private:
    static LRESULT CALLBACK
    SubclassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id, DWORD_PTR self);
    // True when the message was the list's own business here.
    bool OnListMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
    void OnMouseMove(POINT at);
    // Measures the columns' texts, then sizes the columns.
    void Measure();
    void Fit();
    int LeastWidth(size_t column) const;
    int Margin(size_t column) const;

    HWND hwnd_ = nullptr;
    HWND tip_ = nullptr;
    size_t count_ = 0;
    bool checkBoxes_ = false;
    int dpi_ = 0;
    // The widths the user set by dragging a divider: then only the fill column follows the room.
    bool userSized_ = false;
    std::vector<Column> columns_;
    std::vector<int> wanted_;  // each column's widest text with its margins
    int tipRow_ = -1;
    int tipColumn_ = -1;
    std::wstring tipText_;  // the tip's text, apart from the cells' (the list may paint meanwhile)
    std::wstring buffer_;
};

// Column widths for texts needing `wanted` pixels, keeping at least `least`, in `room` pixels,
// with column `fill` (or none: -1) taking what is left. Short columns keep their whole text;
// where the room is short the longest are cut to one width, the fill column to twice that.
std::vector<int> FitColumns(const std::vector<int>& wanted, const std::vector<int>& least, int fill, int room);

}  // namespace pellora::gui
