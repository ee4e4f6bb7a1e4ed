// frmCustomScanSettings: the seven options of the custom scan (CustomScan.stg lines 0 to 6).
// OK rebuilds the seven lines from the boxes and applies the settings.
#pragma once

#include <array>

#include "gui/dialog_base.h"

namespace pellora::gui {

class CustomScanDialog : public DialogBase {
  public:
    enum : int { kIdChkCustomScanSettings0 = 401 };  // ... + 6
    explicit CustomScanDialog(App& app) : DialogBase(app, L"Custom Scan Settings") {}

  protected:
    void OnInit() override;
    SIZE OnLayout() override;
    bool OnOk() override;

  private:
    std::array<HWND, 7> boxes_{};
    HWND ok_ = nullptr;
    HWND cancel_ = nullptr;
};

}  // namespace pellora::gui
