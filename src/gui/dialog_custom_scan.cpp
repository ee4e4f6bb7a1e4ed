#include "gui/dialog_custom_scan.h"

#include <algorithm>

#include "core/scan/content_scan.h"
#include "core/settings/settings_editor.h"

namespace pellora::gui {

namespace {
constexpr const wchar_t* kCaptions[kCustomScanLineCount] = {
    L"Perform &Full Hard Disk Scan",
    L"Scan &Active Processes",
    L"Scan Windows &Registry",
    L"Automatically &Quarantine objects prior to removal",
    L"Automatically &Erase all detected objects",
    L"Perform Full Re&gistry Scan",
    L"Scan &Cookies",
    L"Scan File C&ontents",
};
}  // namespace

void CustomScanDialog::OnInit() {
    const auto& lines = app_.state().lstCustomScanSettings;
    for (size_t i = 0; i < boxes_.size(); ++i) {
        boxes_[i] = AddCheck(kCaptions[i], kIdChkCustomScanSettings0 + static_cast<int>(i));
        // The contents line reads as on unless it says "0" (a file from before it has none).
        const bool on = i == kContentScanLine ? ContentScanOn(app_.state()) : Line(lines, i) == "1";
        SendMessageW(boxes_[i], BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED, 0);
    }
    ok_ = AddButton(L"&Ok", IDOK, true);
    cancel_ = AddButton(L"Cancel", IDCANCEL);
}

SIZE CustomScanDialog::OnLayout() {
    int boxWidth = 0;
    for (HWND box : boxes_)
        boxWidth = std::max(boxWidth, TextWidthOf(box) + GetSystemMetrics(SM_CXMENUCHECK) + S(12));
    const int width = std::max(S(320), boxWidth + 2 * Margin());
    int y = Margin();
    const int rowHeight = LineHeight() + S(10);
    for (HWND box : boxes_) {
        Place(box, Margin(), y, boxWidth, LineHeight() + S(4));
        y += rowHeight;
    }
    y += S(10);
    const int bottom = PlaceButtonRow({ok_, cancel_}, width, y);
    return {width, bottom + Margin()};
}

bool CustomScanDialog::OnOk() {
    std::array<bool, kCustomScanLineCount> checked{};
    for (size_t i = 0; i < boxes_.size(); ++i)
        checked[i] = SendMessageW(boxes_[i], BM_GETCHECK, 0, 0) == BST_CHECKED;
    SettingsEditor editor(app_.state(), app_.settingsApplier());
    editor.StoreCustomScan(checked);
    return true;
}

}  // namespace pellora::gui
