#include "core/scan/scan_wizard.h"

#include <string>

namespace pellora {

void ScrollBarStep(int& shapeLeft, int shapeWidth, int trackWidth, int step, UiPort& ui) {
    shapeLeft += step;
    ui.Yield();
    if (shapeLeft > trackWidth)
        shapeLeft = -shapeWidth - step;
    ui.Yield();
}

void ScanWizard::optScanMode_Click(int index) {
    SetLine(state_.lstSettingsFile, kScanModeLine, std::to_string(index));
    state_.scanMode = index;
    if (hooks.applySettings)
        hooks.applySettings();
    ui_.Changed(View::Settings);
    ui_.Yield();
}

void ScanWizard::cmdNextScan_Click() {
    // Refused before the panel changes: the progress panel would sit at a scan that never runs.
    if (scanner_.RefusedWithoutDatabase())
        return;
    Show(Panel::ScanProc, hooks.showScanProc);
    state_.automaticScan = false;
    scanner_.StartScan();
    ui_.Yield();
}

void ScanWizard::cmdAbortNextResults_Click() {
    if (state_.abortNextCaption == "Abort") {
        state_.busy = false;
        state_.abortNextCaption = "Next";
        ui_.Changed(View::ScanProgress);
        return;
    }
    Show(Panel::ScanResult, hooks.showScanResult);
    ui_.Yield();
    state_.abortNextCaption = "Abort";
    ui_.Changed(View::ScanProgress);
}

void ScanWizard::tmrScrollingBar_Timer() {
    ScrollBarStep(state_.scrollBlockLeft, kScrollBlockWidth, kScrollTrackWidth, kScrollStep, ui_);
    ui_.Changed(View::ScanProgress);
    ui_.Yield();
}

void ScanWizard::Show(Panel panel, const std::function<void()>& hook) {
    if (hook) {
        hook();
        return;
    }
    state_.panel = panel;
    ui_.Changed(View::Panel);
}

}  // namespace pellora
