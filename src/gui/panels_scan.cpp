// The scan wizard's preparation and progress panels. The progress block is drawn by the panel
// from state.scrollBlockLeft (twips, as the scan moves it) on a track of kScrollTrackWidth twips.
#include <algorithm>

#include <shobjidl.h>

#include "gui/panels.h"
// After the window headers (gui/win.h), as every use of the ports.
#include "core/scan/scanner.h"

namespace pellora::gui {

namespace {

constexpr const char* kModeCaptions[3] = {"Perform Smart System Scan", "Select Custom Scanning Options",
                                          "Select Drives/Folders to Scan"};
constexpr const char* kModeHints[3] = {
    "Looks for known spyware files, folders, registry entries and cookies.",
    "Scans what you choose with Customize: the system drive, the registry, processes, cookies.",
    "Looks for known spyware files and folders in the places you choose with Select.",
};

constexpr const char* kCounterCaptions[ScanProcView::kCounterCount] = {
    "Objects scanned: ",      "Objects recognized",      "Objects ignored",           "New objects",
    "Processes identified",   "Files identified",        "Folders identified",        "Registry Keys identified",
    "Registry Values identified", "Running processes",
};

constexpr uint64_t kDetailsIntervalMs = 250;

// What the scan is doing, read from its caption.
const char* Phase(const AppState& state, bool running) {
    const std::string& operation = state.currentOperation;
    if (!running) return operation == "Finished." ? "Finished" : "";
    if (operation.rfind("Listing Hard Disk", 0) == 0) return "Listing folders";
    if (operation.rfind("Enumerating Registry", 0) == 0) return "Listing the registry";
    if (operation.rfind("Listing IE Cookies", 0) == 0) return "Listing cookies";
    if (operation.rfind("Scanning_item", 0) == 0) return "Comparing with the database";
    if (operation.rfind(kContentCaption, 0) == 0 || operation.rfind(kContentListingCaption, 0) == 0)
        return "Scanning file contents";
    return "Preparing";
}

// The progress shown on the window's taskbar button (ITaskbarList3). Where the shell has none,
// nothing is shown.
class TaskbarProgress {
public:
    ~TaskbarProgress() {
        if (list_) list_->Release();
    }
    // `total` 0: a moving bar of unknown length.
    void Show(HWND window, bool on, uint64_t done, uint64_t total) {
        if (!Ready()) return;
        if (!on) {
            list_->SetProgressState(window, TBPF_NOPROGRESS);
            return;
        }
        if (total == 0) {
            list_->SetProgressState(window, TBPF_INDETERMINATE);
        } else {
            list_->SetProgressState(window, TBPF_NORMAL);
            list_->SetProgressValue(window, std::min(done, total), total);
        }
    }

private:
    bool Ready() {
        if (tried_) return list_ != nullptr;
        tried_ = true;
        static const CLSID kTaskbarList{0x56FDF344, 0xFD6D, 0x11d0, {0x95, 0x8A, 0x00, 0x60, 0x97, 0xC9, 0xA0, 0x90}};
        static const IID kTaskbarList3{0xEA1AFB91, 0x9E28, 0x4B86, {0x90, 0xE9, 0x9E, 0x9F, 0x8A, 0x5E, 0xEF, 0xAF}};
        // Already initialised on this thread is fine; the apartment lives as long as the program.
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        void* list = nullptr;
        if (SUCCEEDED(CoCreateInstance(kTaskbarList, nullptr, CLSCTX_INPROC_SERVER, kTaskbarList3, &list)) && list) {
            list_ = static_cast<ITaskbarList3*>(list);
            if (FAILED(list_->HrInit())) {
                list_->Release();
                list_ = nullptr;
            }
        }
        return list_ != nullptr;
    }

    ITaskbarList3* list_ = nullptr;
    bool tried_ = false;
};

TaskbarProgress& Taskbar() {
    static TaskbarProgress taskbar;
    return taskbar;
}

std::string Elapsed(uint64_t ms) {
    const uint64_t seconds = ms / 1000;
    std::string text = std::to_string(seconds / 60) + ":";
    if (seconds % 60 < 10) text += "0";
    return text + std::to_string(seconds % 60);
}

}  // namespace

// ---- preparation ---------------------------------------------------------------------------

void ScanPrepView::CreateControls() {
    instruction_ = AddLabel("Please choose a scanning mode and press Next to start the scan.");
    // The three options are created one after the other so that they form one group for the
    // arrow keys; the first control after them starts the next group.
    for (int i = 0; i < 3; ++i)
        options_[i] = AddRadio(kModeCaptions[i], kIdOptScanMode0 + i, i == 0);
    // The hints wrap rather than end in "...": each is the only description of its mode.
    for (int i = 0; i < 3; ++i)
        hints_[i] = AddLabel(kModeHints[i], -1, i == 0 ? WS_GROUP : 0);
    cmdCustomize_ = AddButton(L"C&ustomize", kIdCmdCustomizeScan);
    cmdSelect_ = AddButton(L"Se&lect", kIdCmdSelectDrvFolderScan);
    cmdNext_ = AddButton(L"&Next", kIdCmdNextScan);
}

void ScanPrepView::OnLayout(int width, int height) {
    const int margin = Margin();
    int y = margin;
    Place(instruction_, margin, y, width - 2 * margin, LineHeight());
    y += LineHeight() + S(16);
    const int buttonWidth = std::max(ButtonWidth(cmdCustomize_), ButtonWidth(cmdSelect_));
    const int buttonX = width - margin - buttonWidth;
    for (int i = 0; i < 3; ++i) {
        const int rowHeight = ButtonHeight();
        int optionWidth = std::min(TextWidthOf(options_[i]) + S(24), buttonX - S(12) - margin);
        Place(options_[i], margin, y + (rowHeight - LineHeight() - S(4)) / 2, optionWidth, LineHeight() + S(4));
        HWND button = i == 1 ? cmdCustomize_ : i == 2 ? cmdSelect_ : nullptr;
        if (button) Place(button, buttonX, y, buttonWidth, ButtonHeight());
        y += rowHeight;
        const int hintWidth = buttonX - S(12) - margin - S(20);
        const int hintHeight = WrappedHeight(hints_[i], hintWidth);
        Place(hints_[i], margin + S(20), y, hintWidth, hintHeight);
        y += hintHeight + S(14);
    }
    PlaceButtonRow({}, {cmdNext_}, width, height);
}

void ScanPrepView::Refresh(View view) {
    if (view != View::Settings) return;
    for (int i = 0; i < 3; ++i) {
        SendMessageW(options_[i], BM_SETCHECK, state().scanMode == i ? BST_CHECKED : BST_UNCHECKED, 0);
    }
}

bool ScanPrepView::OnCommand(int id, int code) {
    if (id >= kIdOptScanMode0 && id < kIdOptScanMode0 + 3) {
        if (code != BN_CLICKED) return true;
        if (commands().optScanMode_Click) commands().optScanMode_Click(id - kIdOptScanMode0);
        Refresh(View::Settings);
        return true;
    }
    switch (id) {
        case kIdCmdCustomizeScan: Run(commands().lblCmdCustomizeScan_Click); return true;
        case kIdCmdSelectDrvFolderScan: Run(commands().lblCmdSelectDrvFolderScan_Click); return true;
        case kIdCmdNextScan: Run(commands().cmdNextScan_Click); return true;
        default: return false;
    }
}

// ---- progress ------------------------------------------------------------------------------

void ScanProcView::CreateControls() {
    currentOperation_ = AddLabel("", -1, SS_PATHELLIPSIS);
    MarkBold(currentOperation_);
    track_ = AddLabel("", kIdScrollTrack, SS_OWNERDRAW);
    for (int i = 0; i < kCounterCount; ++i) {
        counterCaptions_[i] = AddLabel(kCounterCaptions[i]);
        counterValues_[i] = AddLabel("0");
    }
    details_ = AddLabel("", -1, SS_ENDELLIPSIS);
    cmdAbortNext_ = AddButton(L"&Abort", kIdCmdAbortNextResults);
}

void ScanProcView::OnLayout(int width, int height) {
    const int margin = Margin();
    int y = margin;
    Place(currentOperation_, margin, y, width - 2 * margin, LineHeight());
    y += LineHeight() + S(12);
    Place(track_, margin, y, TwipsToPixels(kScrollTrackWidth) + 2, S(18));
    y += S(18) + S(8);
    Place(details_, margin, y, width - 2 * margin, LineHeight());
    y += LineHeight() + S(16);

    // Two columns of counters, each caption followed by its figure.
    int captionWidth = 0;
    for (HWND caption : counterCaptions_) captionWidth = std::max(captionWidth, TextWidthOf(caption));
    const int valueWidth = S(80);
    const int columnWidth = captionWidth + S(12) + valueWidth;
    const int columns = width - 2 * margin >= 2 * columnWidth + S(24) ? 2 : 1;
    const int rows = (kCounterCount + columns - 1) / columns;
    const int rowHeight = RowHeight();
    for (int i = 0; i < kCounterCount; ++i) {
        int column = i / rows;
        int row = i % rows;
        int x = margin + column * (columnWidth + S(24));
        int top = y + row * rowHeight;
        Place(counterCaptions_[i], x, top, captionWidth + S(4), LineHeight());
        Place(counterValues_[i], x + captionWidth + S(12), top, valueWidth, LineHeight());
    }
    PlaceButtonRow({}, {cmdAbortNext_}, width, height);
}

void ScanProcView::Refresh(View view) {
    if (view != View::ScanProgress) return;
    const AppState& s = state();
    SetTextIfChanged(currentOperation_, s.currentOperation);
    const ScanCounters& c = s.counters;
    const int64_t values[kCounterCount] = {c.scannedObjects,      c.objectsRecognized,  c.objectsIgnored,
                                           c.newObjects,          c.processesIdentified, c.filesIdentified,
                                           c.foldersIdentified,   c.regKeysIdentified,  c.regValuesIdentified,
                                           c.runningProcesses};
    for (int i = 0; i < kCounterCount; ++i) SetTextIfChanged(counterValues_[i], std::to_string(values[i]));
    std::wstring caption = s.abortNextCaption == "Abort" ? L"&Abort" : s.abortNextCaption == "Next" ? L"&Next"
                                                                                                    : W(s.abortNextCaption);
    SetTextIfChanged(cmdAbortNext_, caption);
    if (TwipsToPixels(s.scrollBlockLeft) != drawnBlockLeft_) InvalidateRect(track_, nullptr, FALSE);
    RefreshDetails();
}

void ScanProcView::RefreshDetails() {
    const AppState& s = state();
    // The moving block runs exactly while a scan lists and compares.
    const bool running = s.scrollTimerEnabled;
    const uint64_t now = GetTickCount64();
    const bool changed = running != running_;
    if (running && !running_) startedMs_ = now;
    if (!running && running_) stoppedMs_ = now;
    running_ = running;
    if (!changed && now - detailsDrawnMs_ < kDetailsIntervalMs) return;
    detailsDrawnMs_ = now;

    const std::string phase = Phase(s, running);
    if (phase.empty()) {
        SetTextIfChanged(details_, "");
    } else {
        const size_t listed = s.lstHDDItems.Count() + s.lstRegScan.Count() + s.lstCache.size();
        const size_t finds = s.lstScanResult.size() + s.lstIremovable.size();
        // The content phase counts the files and megabytes it has read.
        const std::string amount = s.counters.contentFiles > 0 || phase == "Scanning file contents"
                                       ? ContentProgressText(s.counters) + " read"
                                       : std::to_string(listed) + " entries listed";
        SetTextIfChanged(details_, phase + "  \u00b7  " + amount + "  \u00b7  " +
                                       Elapsed((running ? now : stoppedMs_) - startedMs_) + " elapsed  \u00b7  " +
                                       std::to_string(finds) + (finds == 1 ? " find" : " finds"));
    }
    // Indeterminate while listing, the share of the database compared afterwards.
    const bool comparing = phase == "Comparing with the database";
    const auto compared = static_cast<uint64_t>(std::max<int64_t>(s.counters.scannedObjects, 0));
    Taskbar().Show(GetAncestor(hwnd_, GA_ROOT), running, compared, comparing ? s.lstDBaseFile.size() : 0);
}

int ScanProcView::DefaultButton() const {
    return EnterMayPress(kIdCmdAbortNextResults) ? kIdCmdAbortNextResults : 0;
}

bool ScanProcView::EnterMayPress(int id) const {
    return id != kIdCmdAbortNextResults || context_.app.state().abortNextCaption != "Abort";
}

int ScanProcView::BlockLeftPixels() const {
    return drawnBlockLeft_;
}

void ScanProcView::OnDrawItem(DRAWITEMSTRUCT* item) {
    if (item->hwndItem != track_) return;
    RECT rect = item->rcItem;
    HDC dc = item->hDC;
    HBRUSH frame = CreateSolidBrush(RGB(160, 170, 185));
    HBRUSH back = CreateSolidBrush(RGB(238, 242, 248));
    FillRect(dc, &rect, back);
    FrameRect(dc, &rect, frame);
    drawnBlockLeft_ = TwipsToPixels(state().scrollBlockLeft);
    RECT block{rect.left + 1 + drawnBlockLeft_, rect.top + 2,
               rect.left + 1 + drawnBlockLeft_ + TwipsToPixels(kScrollBlockWidth), rect.bottom - 2};
    RECT inner{rect.left + 1, rect.top + 1, rect.right - 1, rect.bottom - 1};
    RECT visible{};
    if (IntersectRect(&visible, &block, &inner)) {
        HBRUSH fill = CreateSolidBrush(kAccent);
        FillRect(dc, &visible, fill);
        DeleteObject(fill);
    }
    DeleteObject(frame);
    DeleteObject(back);
}

bool ScanProcView::OnCommand(int id, int) {
    if (id != kIdCmdAbortNextResults) return false;
    Run(commands().cmdAbortNextResults_Click);
    return true;
}

}  // namespace pellora::gui
