#include "gui/list_view.h"

#include <algorithm>
#include <numeric>

#include "gui/gui_util.h"

namespace pellora::gui {

namespace {

// Rows measured for the column widths: every row of a results list, the first ones of a huge
// table (a later wider text is cut and shown in its tip).
constexpr size_t kMeasuredRows = 1000;
constexpr UINT_PTR kSubclassId = 1;
constexpr UINT_PTR kTipToolId = 1;

int Sum(const std::vector<int>& widths) {
    return std::accumulate(widths.begin(), widths.end(), 0);
}

// The widths when no cut column gets more than `cap` (the fill column twice that).
std::vector<int> WidthsAtCap(const std::vector<int>& wanted, const std::vector<int>& least, int fill, int cap) {
    std::vector<int> widths(wanted.size());
    for (size_t i = 0; i < wanted.size(); ++i) {
        const int limit = static_cast<int>(i) == fill ? 2 * cap : cap;
        widths[i] = std::max(least[i], std::min(wanted[i], limit));
    }
    return widths;
}

}  // namespace

std::vector<int> FitColumns(const std::vector<int>& wanted, const std::vector<int>& least, int fill, int room) {
    std::vector<int> widths(wanted.size());
    for (size_t i = 0; i < wanted.size(); ++i)
        widths[i] = std::max(wanted[i], least[i]);
    const bool hasFill = fill >= 0 && static_cast<size_t>(fill) < wanted.size();
    if (!hasFill)
        return widths;
    if (Sum(widths) <= room) {
        widths[fill] += room - Sum(widths);
        return widths;
    }
    if (Sum(least) >= room)
        return least;
    // The largest cap whose widths still fit: short columns stay whole, long ones are cut.
    int low = 0;
    int high = room;
    while (low < high) {
        const int cap = low + (high - low + 1) / 2;
        if (Sum(WidthsAtCap(wanted, least, fill, cap)) <= room) {
            low = cap;
        } else {
            high = cap - 1;
        }
    }
    widths = WidthsAtCap(wanted, least, fill, low);
    widths[fill] += room - Sum(widths);
    return widths;
}

HWND VirtualList::Create(HWND parent, int id, bool checkBoxes, const std::vector<Column>& columns) {
    checkBoxes_ = checkBoxes;
    columns_ = columns;
    hwnd_ = CreateWindowExW(WS_EX_CLIENTEDGE, WC_LISTVIEWW, L"",
                            WS_CHILD | WS_VISIBLE | WS_TABSTOP | LVS_REPORT | LVS_OWNERDATA | LVS_SHOWSELALWAYS, 0, 0,
                            10, 10, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                            GetModuleHandleW(nullptr), nullptr);
    if (!hwnd_) return nullptr;
    // The list's tips are its own (below), for every column, not the control's for the first.
    DWORD extended = LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER;
    if (checkBoxes) extended |= LVS_EX_CHECKBOXES;
    ListView_SetExtendedListViewStyle(hwnd_, extended);
    // The check box is a state image the control asks us for, row by row.
    if (checkBoxes) ListView_SetCallbackMask(hwnd_, LVIS_STATEIMAGEMASK);
    for (size_t i = 0; i < columns.size(); ++i) {
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
        column.pszText = const_cast<wchar_t*>(columns[i].title);
        column.cx = std::max(columns[i].widthAt96, 40);
        column.iSubItem = static_cast<int>(i);
        ListView_InsertColumn(hwnd_, static_cast<int>(i), &column);
    }
    wanted_.assign(columns.size(), 0);
    SetWindowSubclass(hwnd_, SubclassProc, kSubclassId, reinterpret_cast<DWORD_PTR>(this));

    // One tool, moved to the cell under the mouse; its text is asked for when it shows.
    tip_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP,
                           CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, hwnd_, nullptr,
                           GetModuleHandleW(nullptr), nullptr);
    if (tip_) {
        TOOLINFOW tool{};
        tool.cbSize = TTTOOLINFOW_V2_SIZE;
        tool.hwnd = hwnd_;
        tool.uId = kTipToolId;
        tool.lpszText = LPSTR_TEXTCALLBACKW;
        SendMessageW(tip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
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
        if (dpi_ > 0)
            Measure();
    }
    InvalidateRect(hwnd_, nullptr, FALSE);
}

void VirtualList::Rescale(int dpi) {
    // A new DPI (or fonts) drops widths the user dragged; a new size keeps them.
    if (dpi != dpi_)
        userSized_ = false;
    dpi_ = dpi;
    Measure();
}

int VirtualList::Margin(size_t column) const {
    // The list's own margins around a cell's text.
    int width = Scale(16, dpi_);
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

int VirtualList::LeastWidth(size_t column) const {
    HWND header = ListView_GetHeader(hwnd_);
    HFONT font = reinterpret_cast<HFONT>(SendMessageW(header ? header : hwnd_, WM_GETFONT, 0, 0));
    // The title with the header's margins.
    int least =
        std::max(Scale(columns_[column].widthAt96, dpi_), TextWidth(font, columns_[column].title) + Scale(20, dpi_));
    if (columns_[column].mustFit) {
        std::wstring words = columns_[column].mustFit;
        for (size_t start = 0; start <= words.size();) {
            size_t end = words.find(L'|', start);
            if (end == std::wstring::npos)
                end = words.size();
            std::wstring word = words.substr(start, end - start);
            least = std::max(least, ListView_GetStringWidth(hwnd_, word.c_str()) + Margin(column));
            start = end + 1;
        }
    }
    return least;
}

void VirtualList::Measure() {
    if (!hwnd_ || dpi_ == 0)
        return;
    std::vector<int> widest(columns_.size(), 0);
    if (text) {
        HDC dc = GetDC(hwnd_);
        HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(hwnd_, WM_GETFONT, 0, 0)));
        const size_t rows = std::min(count_, kMeasuredRows);
        for (size_t row = 0; row < rows; ++row) {
            for (size_t column = 0; column < columns_.size(); ++column) {
                const std::wstring cell = W(text(row, static_cast<int>(column)));
                SIZE size{};
                if (!cell.empty() && GetTextExtentPoint32W(dc, cell.c_str(), static_cast<int>(cell.size()), &size))
                    widest[column] = std::max<int>(widest[column], size.cx);
            }
        }
        SelectObject(dc, old);
        ReleaseDC(hwnd_, dc);
    }
    for (size_t column = 0; column < columns_.size(); ++column)
        wanted_[column] = widest[column] > 0 ? widest[column] + Margin(column) : 0;
    if (tip_)
        SendMessageW(tip_, WM_SETFONT, SendMessageW(hwnd_, WM_GETFONT, 0, 0), FALSE);
    Fit();
}

void VirtualList::Fit() {
    RECT client{};
    GetClientRect(hwnd_, &client);
    // A list about to get its vertical scroll bar loses that much room.
    const bool scrolls = count_ > static_cast<size_t>(std::max(ListView_GetCountPerPage(hwnd_), 0)) &&
                         !(GetWindowLongW(hwnd_, GWL_STYLE) & WS_VSCROLL);
    const int room = client.right - (scrolls ? GetSystemMetrics(SM_CXVSCROLL) : 0);
    int fill = -1;
    std::vector<int> least(columns_.size());
    for (size_t i = 0; i < columns_.size(); ++i) {
        least[i] = LeastWidth(i);
        if (columns_[i].fill)
            fill = static_cast<int>(i);
    }
    std::vector<int> widths;
    if (userSized_) {
        // Keep what the user dragged; the fill column follows the room.
        widths.resize(columns_.size());
        for (size_t i = 0; i < columns_.size(); ++i)
            widths[i] = ListView_GetColumnWidth(hwnd_, static_cast<int>(i));
        if (fill >= 0)
            widths[fill] = std::max(least[fill], room - (Sum(widths) - widths[fill]));
    } else {
        widths = FitColumns(wanted_, least, fill, room);
    }
    for (size_t i = 0; i < columns_.size(); ++i) {
        if (ListView_GetColumnWidth(hwnd_, static_cast<int>(i)) != widths[i])
            ListView_SetColumnWidth(hwnd_, static_cast<int>(i), widths[i]);
    }
}

std::wstring VirtualList::CutText(int row, int column) const {
    if (!text || row < 0 || static_cast<size_t>(row) >= count_ || column < 0 ||
        static_cast<size_t>(column) >= columns_.size())
        return {};
    std::wstring cell = W(text(static_cast<size_t>(row), column));
    if (cell.empty())
        return {};
    HFONT font = reinterpret_cast<HFONT>(SendMessageW(hwnd_, WM_GETFONT, 0, 0));
    const int needed = TextWidth(font, cell) + Margin(static_cast<size_t>(column));
    return needed > ListView_GetColumnWidth(hwnd_, column) ? cell : std::wstring();
}

POINT VirtualList::KeyboardMenuPoint() const {
    POINT at{0, 0};
    int row = FocusedRow();
    if (row < 0)
        row = ListView_GetNextItem(hwnd_, -1, LVNI_SELECTED);
    RECT rect{};
    if (row >= 0) {
        ListView_EnsureVisible(hwnd_, row, FALSE);
        if (ListView_GetItemRect(hwnd_, row, &rect, LVIR_LABEL))
            at = POINT{rect.left, rect.bottom};
    } else if (HWND header = ListView_GetHeader(hwnd_); header && GetWindowRect(header, &rect)) {
        // No row: below the column titles.
        at = POINT{0, rect.bottom - rect.top};
    }
    ClientToScreen(hwnd_, &at);
    return at;
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

void VirtualList::OnMouseMove(POINT at) {
    if (!tip_)
        return;
    LVHITTESTINFO hit{};
    hit.pt = at;
    const int row = ListView_SubItemHitTest(hwnd_, &hit);
    const int column = row >= 0 ? hit.iSubItem : -1;
    if (row == tipRow_ && column == tipColumn_)
        return;
    tipRow_ = row;
    tipColumn_ = column;
    // The tool covers the cell under the mouse only: another cell hides the tip and asks anew.
    SendMessageW(tip_, TTM_POP, 0, 0);
    TOOLINFOW tool{};
    tool.cbSize = TTTOOLINFOW_V2_SIZE;
    tool.hwnd = hwnd_;
    tool.uId = kTipToolId;
    if (row >= 0)
        ListView_GetSubItemRect(hwnd_, row, column, column == 0 ? LVIR_LABEL : LVIR_BOUNDS, &tool.rect);
    SendMessageW(tip_, TTM_NEWTOOLRECTW, 0, reinterpret_cast<LPARAM>(&tool));
}

bool VirtualList::OnListMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    result = 0;
    const bool control = GetKeyState(VK_CONTROL) < 0;
    const bool shift = GetKeyState(VK_SHIFT) < 0;
    switch (message) {
        case WM_MOUSEMOVE:
        case WM_LBUTTONDOWN:
        case WM_LBUTTONUP:
        case WM_RBUTTONDOWN:
        case WM_RBUTTONUP:
            if (message == WM_MOUSEMOVE)
                OnMouseMove(POINT{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))});
            if (tip_) {
                MSG relayed{hwnd_, message, wParam, lParam, 0, {}};
                SendMessageW(tip_, TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(&relayed));
            }
            return false;
        case WM_NOTIFY: {
            auto* header = reinterpret_cast<NMHDR*>(lParam);
            if (!tip_ || header->hwndFrom != tip_ || header->code != TTN_GETDISPINFOW)
                return false;
            auto* info = reinterpret_cast<NMTTDISPINFOW*>(lParam);
            tipText_ = CutText(tipRow_, tipColumn_);
            info->lpszText = tipText_.data();
            info->szText[0] = L'\0';
            info->hinst = nullptr;
            return true;
        }
        case WM_KEYDOWN:
        case WM_SYSKEYDOWN:
            if (onContextMenu && (wParam == VK_APPS || (wParam == VK_F10 && shift && !control))) {
                onContextMenu(KeyboardMenuPoint());
                return true;
            }
            if (onSelectAll && wParam == 'A' && control && !shift && message == WM_KEYDOWN) {
                onSelectAll();
                return true;
            }
            return false;
        case WM_KEYUP:
        case WM_SYSKEYUP:
            // The system would open the menu once more on the key's release (and F10 alone
            // would enter the window's menu mode).
            return onContextMenu && (wParam == VK_APPS || wParam == VK_F10);
        case WM_CHAR:
            // Ctrl+A's character would start the list's search by typing.
            return onSelectAll && wParam == 1;
        case WM_CONTEXTMENU:
            if (!onContextMenu)
                return false;
            if (lParam == -1) {
                onContextMenu(KeyboardMenuPoint());
            } else {
                onContextMenu(POINT{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))});
            }
            return true;
        default:
            return false;
    }
}

LRESULT CALLBACK
VirtualList::SubclassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR self) {
    if (message == WM_NCDESTROY) {
        RemoveWindowSubclass(hwnd, SubclassProc, kSubclassId);
        return DefSubclassProc(hwnd, message, wParam, lParam);
    }
    LRESULT result = 0;
    if (reinterpret_cast<VirtualList*>(self)->OnListMessage(message, wParam, lParam, result))
        return result;
    return DefSubclassProc(hwnd, message, wParam, lParam);
}

bool VirtualList::OnNotify(NMHDR* header, LRESULT& result) {
    if (!hwnd_)
        return false;
    if (header->hwndFrom == ListView_GetHeader(hwnd_)) {
        // The user dragged a divider (or asked for a column's best width): that width stays.
        if (header->code == HDN_ENDTRACKW || header->code == HDN_ENDTRACKA || header->code == HDN_DIVIDERDBLCLICKW ||
            header->code == HDN_DIVIDERDBLCLICKA)
            userSized_ = true;
        return false;
    }
    if (header->hwndFrom != hwnd_)
        return false;
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
            // Zero lets the list send WM_CONTEXTMENU, where the menu opens (as for the keyboard).
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
