// The handlers of the scan preparation and progress panels: the scan mode options, "Next" that
// starts a scan, the "Abort"/"Next" button of the progress panel, and the moving block of the
// progress bar. Panel switches and ApplySettings belong to other subsystems and are reached
// through hooks the composer wires; unwired, the panel switches only set state.panel.
#pragma once

#include <functional>

#include "core/state/app_state.h"
#include "core/ports/ui.h"
#include "core/scan/scanner.h"

namespace pellora {

// One step of the progress block: right by `step`; once its left edge has passed the track's
// right end it starts again left of the track, at -(shape width) - step. Yields after each move.
void ScrollBarStep(int& shapeLeft, int shapeWidth, int trackWidth, int step, UiPort& ui);

class ScanWizard {
  public:
    struct Hooks {
        std::function<void()> applySettings;   // ApplySettings
        std::function<void()> showScanProc;    // ShowScanProc
        std::function<void()> showScanResult;  // ShowScanResult
    };

    ScanWizard(AppState& state, Scanner& scanner, UiPort& ui) : state_(state), scanner_(scanner), ui_(ui) {}

    Hooks hooks;

    // The scan mode (0 smart, 1 custom, 2 file/folder) into Settings line 9, for every later scan.
    void optScanMode_Click(int index);
    // Shows the progress panel and runs a scan by the user's hand (not an automatic one).
    void cmdNextScan_Click();
    // "Abort" during a scan: clears the busy flag (the scan stops at its next test and writes its
    // report) and reads "Next". "Next": shows the result panel and reads "Abort" again.
    void cmdAbortNextResults_Click();
    // Every 50 ms while enabled: the block moves 125 twips.
    void tmrScrollingBar_Timer();

  private:
    void Show(Panel panel, const std::function<void()>& hook);

    AppState& state_;
    Scanner& scanner_;
    UiPort& ui_;
};

}  // namespace pellora
