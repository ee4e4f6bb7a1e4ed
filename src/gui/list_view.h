// A thin wrapper of an owner-data (virtual) list view: the control holds no rows, it asks for
// the text, image and check mark of the rows it paints, so a table of a million rows costs the
// model's memory only. Check marks live in the model: a click on the check box or the space bar
// toggles them through `toggle`, and the control's own idea of the check state is never used.
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
        int widthAt96;
        // Words the column must show whole, separated by "|" (the first column also gets room
        // for the check box and the image).
        const wchar_t* mustFit = nullptr;
    };

    HWND Create(HWND parent, int id, bool checkBoxes, const std::vector<Column>& columns);
    HWND hwnd() const { return hwnd_; }

    void SetImageList(HIMAGELIST images);
    // The number of rows; repaints what is visible.
    void SetCount(size_t count);
    size_t Count() const { return count_; }
    // Column widths for a DPI (the widths are given at 96, widened to fit their words).
    void Rescale(int dpi);

    // Model access.
    std::function<std::string(size_t row, int column)> text;
    std::function<int(size_t row)> image;  // 1-based image index, 0 for none
    std::function<bool(size_t row)> checked;
    std::function<void(size_t row)> toggle;
    // Events.
    std::function<void()> onRightClick;
    std::function<void()> onDoubleClick;
    std::function<void(int row)> onFocus;  // focused row, -1 for none

    // Handles the control's notifications; true when it was one of them.
    bool OnNotify(NMHDR* header, LRESULT& result);

    // Toggles the check mark of a row as a click on its box would.
    void ToggleRow(size_t row);
    int FocusedRow() const;
    // No row selected or focused.
    void ClearSelection();

  private:
    int FitWidth(size_t column) const;

    HWND hwnd_ = nullptr;
    size_t count_ = 0;
    bool checkBoxes_ = false;
    int dpi_ = 0;
    std::vector<Column> columns_;
    std::wstring buffer_;
};

}  // namespace pellora::gui
