// Where Internet Explorer keeps the home page the guard protects and the removal run resets.
#pragma once

namespace pellora {

inline constexpr const char* kHomePageKeyPath = "HKEY_CURRENT_USER\\Software\\Microsoft\\Internet Explorer\\Main";
inline constexpr const char* kHomePageValueName = "Start Page";
inline constexpr const char* kBlankHomePage = "about:blank";

}  // namespace pellora
