// The home-page protector (tmrHomePageCheck): every 30 seconds while "Use Homepage Protector"
// is on, the protected start page and window title (Settings lines 6 and 7) are put back as the
// "Start Page" and "Window Title" string values of the browser's Main key, so a change made by
// other software lasts at most that long. A value that already holds the protected text is left
// alone; the key is never created; a write that fails is tried again at the next tick, and
// nothing is shown or logged.
#pragma once

#include "core/state/app_state.h"
#include "core/protection/home_page.h"
#include "core/settings/registry_access.h"

namespace pellora {

inline constexpr size_t kHomePageProtectorLine = 2;
inline constexpr size_t kProtectedStartPageLine = 6;
inline constexpr size_t kProtectedWindowTitleLine = 7;

class HomePageProtector {
  public:
    HomePageProtector(AppState& state, RegistryAccess& registry) : state_(state), registry_(registry) {}

    // The timer's event; does nothing while the timer is off.
    void tmrHomePageCheck_Timer();

  private:
    void Protect(const char* valueName, const std::string& text);

    AppState& state_;
    RegistryAccess& registry_;
};

}  // namespace pellora
