// The list panels: results, irremovable objects, ignore list, quarantine packages and one
// package's contents. Rows are read from AppState by index when the list paints them; the
// bounds are checked every time because the tables change inside the core's yields.
#include <algorithm>

#include "gui/panels.h"
// After the window headers (gui/win.h), as every use of the ports.
#include "core/scan/scan_report.h"

namespace pellora::gui {

namespace {

// The type words of result rows, each of which the Type column shows whole.
constexpr const wchar_t* kTypeWords = L"regkey|regval|folder|cookie|regsearch|RegKey|RegVal";

template <typename Row>
const Row* RowAt(const std::vector<Row>& rows, size_t index) {
    return index < rows.size() ? &rows[index] : nullptr;
}

// The columns of result rows: "Type", "Category", "Object", "Comment".
std::string ResultText(const ResultRow* row, int column) {
    if (!row) return {};
    switch (column) {
        case 0: return row->type;
        case 1: return row->category;
        case 2: return row->object;
        case 3: return RowComment(*row);
        default: return {};
    }
}

void BindResultRows(VirtualList& list, std::vector<ResultRow>& rows) {
    list.text = [&rows](size_t i, int column) { return ResultText(RowAt(rows, i), column); };
    list.image = [&rows](size_t i) { return i < rows.size() ? rows[i].image : 0; };
    list.checked = [&rows](size_t i) { return i < rows.size() && rows[i].checked; };
    list.toggle = [&rows](size_t i) {
        if (i < rows.size()) rows[i].checked = !rows[i].checked;
    };
}

// The selection menu of a check-box list at a point, and Ctrl+A for its "Select All".
void BindSelectionMenu(VirtualList& list, PanelContext& context, CheckedList which) {
    list.onContextMenu = [&context, which](POINT at) { context.showSelectionMenu(which, at); };
    list.onSelectAll = [&context, which] {
        if (context.commands.select)
            context.commands.select(which, Selection::All);
    };
}

void Enable(HWND control, bool enabled) {
    if (control && (IsWindowEnabled(control) != FALSE) != enabled) EnableWindow(control, enabled);
}

}  // namespace

void ListPanelView::OnLayout(int width, int height) {
    // The image lists are made for the DPI, so they are taken again with every new layout.
    if (images_ == Images::Object) list_.SetImageList(context_.objectImages);
    if (images_ == Images::Quarantine) list_.SetImageList(context_.quarantineImages);
    int top = Margin();
    if (caption_) {
        Place(caption_, Margin(), top, width - 2 * Margin(), LineHeight());
        top += LineHeight() + S(8);
    }
    const int buttonsTop = PlaceButtonRow(leftButtons_, rightButtons_, width, height);
    Place(list_.hwnd(), Margin(), top, width - 2 * Margin(), buttonsTop - S(10) - top);
    list_.Rescale(context_.fonts.dpi());
}

// ---- results -------------------------------------------------------------------------------

void ScanResultView::CreateControls() {
    list_.Create(hwnd_, kIdLstScanResult, true,
                 {{L"Type", 0, kTypeWords}, {L"Category"}, {L"Object", 0, nullptr, true}, {L"Comment"}});
    images_ = Images::Object;
    BindResultRows(list_, state().lstScanResult);
    BindSelectionMenu(list_, context_, CheckedList::ScanResult);
    leftButtons_ = {AddButton(L"&Quarantines selected", kIdCmdQuarantineSelected),
                    AddButton(L"Add selected to &Ignore List", kIdCmdIgnoreSelected)};
    rightButtons_ = {AddButton(L"&Next", kIdCmdNextDelete)};
}

void ScanResultView::Refresh(View view) {
    if (view == View::ScanResults) list_.SetCount(state().lstScanResult.size());
    if (view == View::Buttons) {
        const ButtonStates& b = state().buttons;
        Enable(Control(kIdCmdQuarantineSelected), b.cmdQuarantineSelected);
        Enable(Control(kIdCmdIgnoreSelected), b.cmdIgnoreSelected);
        Enable(Control(kIdCmdNextDelete), b.cmdNextDelete);
    }
}

bool ScanResultView::OnCommand(int id, int) {
    switch (id) {
        case kIdCmdQuarantineSelected: Run(commands().cmdQuarantineSelected_Click); return true;
        case kIdCmdIgnoreSelected: Run(commands().cmdIgnoreSelected_Click); return true;
        case kIdCmdNextDelete: Run(commands().cmdNextDelete_Click); return true;
        default: return false;
    }
}

// ---- irremovable ---------------------------------------------------------------------------

void IremovableView::CreateControls() {
    list_.Create(hwnd_, kIdLstIremovable, true,
                 {{L"Type", 0, kTypeWords}, {L"Category"}, {L"Object", 0, nullptr, true}, {L"Comment URL"}});
    images_ = Images::Object;
    BindResultRows(list_, state().lstIremovable);
    leftButtons_ = {AddButton(L"Add selected to &Ignore List", kIdCmdIgnoreIremovable)};
    rightButtons_ = {AddButton(L"&Finish", kIdCmdFinish)};
}

void IremovableView::Refresh(View view) {
    if (view == View::Irremovable) list_.SetCount(state().lstIremovable.size());
    if (view == View::Buttons) Enable(Control(kIdCmdIgnoreIremovable), state().buttons.cmdIgnoreIremovable);
}

bool IremovableView::OnCommand(int id, int) {
    switch (id) {
        case kIdCmdIgnoreIremovable: Run(commands().cmdIgnoreIremovable_Click); return true;
        case kIdCmdFinish: context_.app.navigation().cmdFinish_Click(); return true;
        default: return false;
    }
}

// ---- ignore list ---------------------------------------------------------------------------

void IgnoreListView::CreateControls() {
    list_.Create(hwnd_, kIdLstIgnoreList, true,
                 {{L"Type", 0, kTypeWords}, {L"Category"}, {L"Object", 0, nullptr, true}, {L"Comment"}});
    BindResultRows(list_, state().lstIgnoreList);
    // Entries of the ignore list carry no image.
    list_.image = nullptr;
    BindSelectionMenu(list_, context_, CheckedList::IgnoreList);
    rightButtons_ = {AddButton(L"&Delete Selected", kIdCmdDeleteSelected)};
}

void IgnoreListView::Refresh(View view) {
    if (view == View::IgnoreList) list_.SetCount(state().lstIgnoreList.size());
    if (view == View::Buttons) Enable(Control(kIdCmdDeleteSelected), state().buttons.cmdDeleteSelected);
}

bool IgnoreListView::OnCommand(int id, int) {
    if (id != kIdCmdDeleteSelected) return false;
    Run(commands().cmdDeleteSelected_Click);
    return true;
}

// ---- quarantine packages -------------------------------------------------------------------

void QuarantinedView::CreateControls() {
    list_.Create(hwnd_, kIdLstQuarantinedList, true,
                 {{L"Package name", 0, nullptr, true}, {L"Size"}, {L"Items in package"}});
    images_ = Images::Quarantine;
    auto& rows = state().lstQuarantinedList;
    list_.text = [&rows](size_t i, int column) -> std::string {
        const QuarantinePackageRow* row = RowAt(rows, i);
        if (!row) return {};
        return column == 0 ? row->name : column == 1 ? row->sizeText : column == 2 ? row->itemCount : std::string();
    };
    list_.image = [](size_t) { return 1; };
    list_.checked = [&rows](size_t i) { return i < rows.size() && rows[i].checked; };
    list_.toggle = [&rows](size_t i) {
        if (i < rows.size()) rows[i].checked = !rows[i].checked;
    };
    list_.onFocus = [this](int row) { state().highlightedPackage = row; };
    list_.onDoubleClick = [this] { Run(commands().cmdViewData_Click); };
    BindSelectionMenu(list_, context_, CheckedList::QuarantineList);
    leftButtons_ = {AddButton(L"&View Contents", kIdCmdViewData)};
    rightButtons_ = {AddButton(L"&Restore Selected", kIdCmdRestoreQuarantined),
                     AddButton(L"&Delete Selected", kIdCmdDeleteQuarantined)};
}

void QuarantinedView::Refresh(View view) {
    if (view != View::QuarantineList) return;
    list_.SetCount(state().lstQuarantinedList.size());
    // The model forgets the highlighted package when it rebuilds the list; the control must not
    // keep showing one, or a double click on it would find nothing highlighted.
    if (state().highlightedPackage < 0) list_.ClearSelection();
}

bool QuarantinedView::OnCommand(int id, int) {
    switch (id) {
        case kIdCmdViewData: Run(commands().cmdViewData_Click); return true;
        case kIdCmdRestoreQuarantined: Run(commands().cmdRestoreQuarantined_Click); return true;
        case kIdCmdDeleteQuarantined: Run(commands().cmdDeleteQuarantined_Click); return true;
        default: return false;
    }
}

// ---- package contents ----------------------------------------------------------------------

void QItemsView::CreateControls() {
    // Which package is open; the list is the next stop of the keyboard.
    caption_ = AddLabel("", -1, SS_ENDELLIPSIS);
    MarkBold(caption_);
    list_.Create(hwnd_, kIdLstQuarantinedItems, false,
                 {{L"Type", 0, kTypeWords}, {L"Item Name"}, {L"Original Path", 0, nullptr, true}});
    images_ = Images::Object;
    auto& rows = state().lstQuarantinedItems;
    list_.text = [&rows](size_t i, int column) -> std::string {
        const QuarantinedItemRow* row = RowAt(rows, i);
        if (!row) return {};
        return column == 0 ? row->type : column == 1 ? row->storedItem : column == 2 ? row->place : std::string();
    };
    list_.image = [&rows](size_t i) { return i < rows.size() ? rows[i].image : 0; };
    rightButtons_ = {AddButton(L"&Back", kIdCmdBack)};
}

void QItemsView::Refresh(View view) {
    if (view != View::QuarantineItems)
        return;
    SetTextIfChanged(caption_, state().quarantineItemsCaption);
    list_.SetCount(state().lstQuarantinedItems.size());
}

bool QItemsView::OnCommand(int id, int) {
    if (id != kIdCmdBack) return false;
    context_.app.navigation().cmdBack_Click();
    return true;
}

bool QItemsView::Escape() {
    context_.app.navigation().cmdBack_Click();
    return true;
}

// ---- factory -------------------------------------------------------------------------------

std::unique_ptr<PanelView> CreatePanelView(Panel panel, PanelContext& context) {
    switch (panel) {
        case Panel::Status: return std::make_unique<StatusView>(context);
        case Panel::Settings: return std::make_unique<SettingsView>(context);
        case Panel::ScanPrep: return std::make_unique<ScanPrepView>(context);
        case Panel::ScanProc: return std::make_unique<ScanProcView>(context);
        case Panel::ScanResult: return std::make_unique<ScanResultView>(context);
        case Panel::Iremovable: return std::make_unique<IremovableView>(context);
        case Panel::Ignored: return std::make_unique<IgnoreListView>(context);
        case Panel::Quarantined: return std::make_unique<QuarantinedView>(context);
        case Panel::QItems: return std::make_unique<QItemsView>(context);
        case Panel::Update: return std::make_unique<UpdateView>(context);
    }
    return nullptr;
}

}  // namespace pellora::gui
