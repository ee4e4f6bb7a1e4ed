// frmCustomScanSettings: the options of the custom scan (CustomScan.stg lines 0 to 7: the
// classic seven and "Scan File Contents"). OK rebuilds the lines from the boxes and applies the
// settings.
#pragma once

#include <array>

#include "gui/dialog_base.h"
// After the window headers (gui/win.h), as every use of the ports.
#include "core/settings/settings_editor.h"

namespace pellora::gui {

class CustomScanDialog : public DialogBase {
  public:
    enum : int { kIdChkCustomScanSettings0 = 401 };  // ... + 7
    explicit CustomScanDialog(App& app) : DialogBase(app, L"Custom Scan Settings") {}

  protected:
    void OnInit() override;
    SIZE OnLayout() override;
    bool OnOk() override;

  private:
    std::array<HWND, kCustomScanLineCount> boxes_{};
    HWND ok_ = nullptr;
    HWND cancel_ = nullptr;
};

}  // namespace pellora::gui
