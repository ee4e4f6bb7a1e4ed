// Extension ids as the browsers spell them, checked before any path or comparison uses them.
// A Chromium id is 32 letters a-p (the hex digits of a key hash, shifted), compared in lower
// case; a Firefox add-on id is "name@domain" or a "{guid}", compared without regard to case.
// Anything else (a path such as "..\..\Windows", a name with a separator, a stream or a
// wildcard) is no id.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace pellora::browsers {

enum class BrowserFamily { Chromium, Firefox };

// The id in the form it is compared in (lower case for Chromium, as written for Firefox), or
// nothing when it is not a valid id of that family.
std::optional<std::string> NormalizeExtensionId(BrowserFamily family, std::string_view id);
bool IsChromiumExtensionId(std::string_view id);  // exactly 32 of a-p, lower case
bool IsFirefoxAddonId(std::string_view id);
// Whether two valid ids of a family name the same extension.
bool SameExtensionId(BrowserFamily family, std::string_view a, std::string_view b);

}  // namespace pellora::browsers
