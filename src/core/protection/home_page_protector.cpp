#include "core/protection/home_page_protector.h"

namespace pellora {

void HomePageProtector::tmrHomePageCheck_Timer() {
    if (!state_.homePageTimerEnabled)
        return;
    Protect(kHomePageValueName, Line(state_.lstSettingsFile, kProtectedStartPageLine));
    Protect("Window Title", Line(state_.lstSettingsFile, kProtectedWindowTitleLine));
}

void HomePageProtector::Protect(const char* valueName, const std::string& text) {
    // Compared as stored, not through the text sentinels: a missing value and an empty one both
    // read as text that could pass for the protected one.
    auto current = registry_.ReadValue(kHomePageKeyPath, valueName);
    if (current && current->type == kRegSz && current->data == text)
        return;
    (void)registry_.WriteValue(kHomePageKeyPath, valueName, RegValue{kRegSz, text});
}

}  // namespace pellora
