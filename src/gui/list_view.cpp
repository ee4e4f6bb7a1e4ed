#include "gui/list_view.h"

#include <algorithm>

#include "gui/gui_util.h"

namespace pellora::gui {

HWND VirtualList::Create(HWND parent, int id, bool checkBoxes, const std::vector<Column>& columns) {
    checkBoxes_ = checkBoxes;
    columns_ = columns;
    hwnd_ = CreateWindowExW(WS_EX_CLIENTEDGE, WC_LISTVIEWW, L"",
                            WS_CHILD | WS_VISIBLE | WS_TABSTOP | LVS_REPORT | LVS_OWNERDATA | LVS_SHOWSELALWAYS, 0, 0,
                            10, 10, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                            GetModuleHandleW(nullptr), nullptr);
    if (!hwnd_) return nullptr;
    DWORD extended = LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER | LVS_EX_LABELTIP;
    if (checkBoxes) extended |= LVS_EX_CHECKBOXES;
    ListView_SetExtendedListViewStyle(hwnd_, extended);
    // The check box is a state image the control asks us for, row by row.
    if (checkBoxes) ListView_SetCallbackMask(hwnd_, LVIS_STATEIMAGEMASK);
    for (size_t i = 0; i < columns.size(); ++i) {
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
        column.pszText = const_cast<wchar_t*>(columns[i].title);
        column.cx = columns[i].widthAt96;
        column.iSubItem = static_cast<int>(i);
        ListView_InsertColumn(hwnd_, static_cast<int>(i), &column);
    }
    return hwnd_;
}

void VirtualList::SetImageList(HIMAGELIST images) {
    ListView_SetImageList(hwnd_, images, LVSIL_SMALL);
}

void VirtualList::SetCount(size_t count) {
    if (!hwnd_) return;
    if (count != count_) {
        count_ = count;
        ListView_SetItemCountEx(hwnd_, static_cast<int>(count), LVSICF_NOSCROLL);
    }
    InvalidateRect(hwnd_, nullptr, FALSE);
}

void VirtualList::Rescale(int dpi) {
    // Only a new DPI resets the columns: widths the user dragged stay through window resizes.
    if (dpi == dpi_) return;
    dpi_ = dpi;
    for (size_t i = 0; i < columns_.size(); ++i) {
        ListView_SetColumnWidth(hwnd_, static_cast<int>(i), std::max(Scale(columns_[i].widthAt96, dpi), FitWidth(i)));
    }
}

int VirtualList::FitWidth(size_t column) const {
    if (!columns_[column].mustFit)
        return 0;
    std::wstring words = columns_[column].mustFit;
    int widest = 0;
    for (size_t start = 0; start <= words.size();) {
        size_t end = words.find(L'|', start);
        if (end == std::wstring::npos)
            end = words.size();
        std::wstring word = words.substr(start, end - start);
        widest = std::max(widest, ListView_GetStringWidth(hwnd_, word.c_str()));
        start = end + 1;
    }
    // The list's own margins around a cell's text.
    int width = widest + Scale(16, dpi_);
    if (column == 0) {
        if (checkBoxes_)
            width += GetSystemMetrics(SM_CXSMICON) + Scale(4, dpi_);
        int iconWidth = 0;
        int iconHeight = 0;
        HIMAGELIST images = ListView_GetImageList(hwnd_, LVSIL_SMALL);
        if (images && ImageList_GetIconSize(images, &iconWidth, &iconHeight))
            width += iconWidth + Scale(4, dpi_);
    }
    return width;
}

int VirtualList::FocusedRow() const {
    return hwnd_ ? ListView_GetNextItem(hwnd_, -1, LVNI_FOCUSED) : -1;
}

void VirtualList::ClearSelection() {
    if (hwnd_ && FocusedRow() >= 0) ListView_SetItemState(hwnd_, -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
}

void VirtualList::ToggleRow(size_t row) {
    if (!checkBoxes_ || row >= count_ || !toggle) return;
    toggle(row);
    ListView_RedrawItems(hwnd_, static_cast<int>(row), static_cast<int>(row));
}

bool VirtualList::OnNotify(NMHDR* header, LRESULT& result) {
    if (!hwnd_ || header->hwndFrom != hwnd_) return false;
    result = 0;
    switch (header->code) {
        case LVN_GETDISPINFOW: {
            LVITEMW& item = reinterpret_cast<NMLVDISPINFOW*>(header)->item;
            if (item.iItem < 0 || static_cast<size_t>(item.iItem) >= count_) return true;
            const size_t row = static_cast<size_t>(item.iItem);
            if ((item.mask & LVIF_TEXT) && item.pszText && item.cchTextMax > 0) {
                buffer_ = text ? W(text(row, item.iSubItem)) : std::wstring();
                lstrcpynW(item.pszText, buffer_.c_str(), item.cchTextMax);
            }
            if ((item.mask & LVIF_IMAGE) && item.iSubItem == 0) {
                int index = image ? image(row) : 0;
                item.iImage = index > 0 ? index - 1 : I_IMAGENONE;
            }
            if ((item.mask & LVIF_STATE) && checkBoxes_) {
                bool isChecked = checked && checked(row);
                item.state = (item.state & ~LVIS_STATEIMAGEMASK) | INDEXTOSTATEIMAGEMASK(isChecked ? 2 : 1);
                item.stateMask |= LVIS_STATEIMAGEMASK;
            }
            return true;
        }
        case NM_CLICK: {
            auto* activate = reinterpret_cast<NMITEMACTIVATE*>(header);
            LVHITTESTINFO hit{};
            hit.pt = activate->ptAction;
            int row = ListView_SubItemHitTest(hwnd_, &hit);
            if (row >= 0 && (hit.flags & LVHT_ONITEMSTATEICON)) ToggleRow(static_cast<size_t>(row));
            return true;
        }
        case LVN_KEYDOWN: {
            auto* key = reinterpret_cast<NMLVKEYDOWN*>(header);
            if (key->wVKey == VK_SPACE) {
                int row = -1;
                while ((row = ListView_GetNextItem(hwnd_, row, LVNI_SELECTED)) >= 0) {
                    ToggleRow(static_cast<size_t>(row));
                }
            }
            return true;
        }
        case NM_RCLICK:
            if (onRightClick) onRightClick();
            return true;
        case NM_DBLCLK:
            if (onDoubleClick) onDoubleClick();
            return true;
        case LVN_ITEMCHANGED: {
            auto* change = reinterpret_cast<NMLISTVIEW*>(header);
            if ((change->uChanged & LVIF_STATE) && ((change->uNewState ^ change->uOldState) & LVIS_FOCUSED)) {
                if (onFocus) onFocus(FocusedRow());
            }
            return true;
        }
        default:
            return false;
    }
}

}  // namespace pellora::gui
