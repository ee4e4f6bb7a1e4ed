#include "core/browsers/extension_id.h"

#include "core/util/text.h"

namespace pellora::browsers {

namespace {
constexpr size_t kMaxFirefoxIdLength = 200;

bool IsHex(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

bool IsGuid(std::string_view id) {
    // {8-4-4-4-12}
    if (id.size() != 38 || id.front() != '{' || id.back() != '}')
        return false;
    for (size_t i = 1; i < 37; ++i) {
        const bool dash = i == 9 || i == 14 || i == 19 || i == 24;
        if (dash ? id[i] != '-' : !IsHex(id[i]))
            return false;
    }
    return true;
}

bool IsAddonNameChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
           c == '.' || c == '+';
}
}  // namespace

bool IsChromiumExtensionId(std::string_view id) {
    if (id.size() != 32)
        return false;
    for (char c : id) {
        if (c < 'a' || c > 'p')
            return false;
    }
    return true;
}

bool IsFirefoxAddonId(std::string_view id) {
    if (id.empty() || id.size() > kMaxFirefoxIdLength)
        return false;
    if (IsGuid(id))
        return true;
    const size_t at = id.find('@');
    if (at == 0 || at == std::string_view::npos || at != id.rfind('@'))
        return false;
    const std::string_view domain = id.substr(at + 1);
    if (domain.empty() || domain.front() == '.' || domain.back() == '.' || domain.find("..") != std::string_view::npos)
        return false;
    for (char c : id) {
        if (c != '@' && !IsAddonNameChar(c))
            return false;
    }
    // A leading dot would make "<id>.xpi" a hidden name and ".." a step up: no id starts so.
    return id.front() != '.' && id.find("..") == std::string_view::npos;
}

std::optional<std::string> NormalizeExtensionId(BrowserFamily family, std::string_view id) {
    if (family == BrowserFamily::Chromium) {
        std::string lower = ToLowerAscii(id);
        if (!IsChromiumExtensionId(lower))
            return std::nullopt;
        return lower;
    }
    if (!IsFirefoxAddonId(id))
        return std::nullopt;
    return std::string(id);
}

bool SameExtensionId(BrowserFamily family, std::string_view a, std::string_view b) {
    if (family == BrowserFamily::Chromium)
        return ToLowerAscii(a) == ToLowerAscii(b);
    return EqualsIgnoreCase(a, b);
}

}  // namespace pellora::browsers
