// Firefox's own text files: `prefs.js`/`user.js` (lines of `user_pref("name", value);`) and
// `profiles.ini`. Both parsers take any bytes, keep what is well formed and skip the rest; they
// never throw and are linear in the input.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace pellora::browsers {

struct UserPref {
    std::string name;
    std::string value;  // a string's text unescaped; a number or true/false as written
    bool isString = false;
};

// Every `user_pref(...)` (and `pref(...)`, as user.js may hold) call of the file in order.
std::vector<UserPref> ParseUserPrefs(std::string_view text);

struct IniProfile {
    std::string section;  // "Profile0"
    std::string name;
    std::string path;  // as written, "/" or "\" separated
    bool isRelative = false;
};

// The [ProfileN] sections of profiles.ini that name a path.
std::vector<IniProfile> ParseProfilesIni(std::string_view text);

}  // namespace pellora::browsers
