// The removal of "extension" and "hijack" rows (RemovalRun::RemoveBrowserRow, in
// browser_removal.cpp) and what keeps a running browser from having its files changed under it.
//
// A browser's files (its extension folders, .xpi files, Preferences, prefs.js, ...) are changed
// only while no process of that browser runs, by image name. In the window the user is asked
// whether to close it; it is then asked to close (WM_CLOSE to its top-level windows, never ended)
// and waited for with a bound. Unattended, nobody is asked: the row stays, with the reason in the
// log, and counts as left. Policies and external-extension keys are registry objects and need no
// closed browser.
#pragma once

#include <map>
#include <optional>
#include <string>

#include "core/browsers/browser_reader.h"
#include "core/ports/clock.h"
#include "core/ports/processes.h"
#include "core/ports/ui.h"

namespace pellora {

// How long a browser asked to close may take before its rows are left.
inline constexpr uint64_t kBrowserCloseWaitMs = 30000;
inline constexpr const char* kCloseBrowserTitle = "Close browser?";

class BrowserCloser {
  public:
    BrowserCloser(ProcessPort& processes, ClockPort& clock, UiPort& ui)
        : processes_(processes), clock_(clock), ui_(ui) {}

    // Nothing when no process of the browser runs (any more); else why its files stay. The
    // answer for a browser that stays open is kept until Forget (one question per run).
    std::optional<std::string> EnsureClosed(const browsers::BrowserInfo& browser, bool unattended);
    void Forget() { open_.clear(); }

  private:
    std::vector<uint32_t> Running(const browsers::BrowserInfo& browser);

    ProcessPort& processes_;
    ClockPort& clock_;
    UiPort& ui_;
    std::map<std::string, std::string> open_;  // browser -> why it stays open
};

}  // namespace pellora
