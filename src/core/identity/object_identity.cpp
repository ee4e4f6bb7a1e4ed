#include "core/identity/object_identity.h"

#include <algorithm>
#include <cctype>

#include "core/ports/registry.h"
#include "core/util/case_fold.h"
#include "core/util/text.h"

namespace pellora {

namespace {

std::vector<std::string> SplitKeep(std::string_view text, char separator) {
    std::vector<std::string> parts;
    size_t pos = 0;
    while (true) {
        size_t hit = text.find(separator, pos);
        if (hit == std::string_view::npos) {
            parts.emplace_back(text.substr(pos));
            return parts;
        }
        parts.emplace_back(text.substr(pos, hit - pos));
        pos = hit + 1;
    }
}

bool IsDriveRoot(std::string_view path) {
    return path.size() >= 2 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':';
}

bool IsControlSetName(const std::string& folded) {
    if (folded == "CURRENTCONTROLSET")
        return true;
    if (!StartsWith(folded, "CONTROLSET") || folded.size() == 10)
        return false;
    return std::all_of(folded.begin() + 10, folded.end(),
                       [](char c) { return std::isdigit(static_cast<unsigned char>(c)); });
}

}  // namespace

std::optional<std::vector<std::string>> SplitFoldedPath(std::string_view path) {
    std::vector<std::string> parts;
    std::string_view rest;
    if (StartsWith(path, "\\\\")) {
        std::vector<std::string> names = SplitKeep(path.substr(2), '\\');
        if (names.size() < 2 || names[0].empty() || names[1].empty())
            return std::nullopt;
        parts.push_back("\\\\" + FoldOrdinal(names[0]) + "\\" + FoldOrdinal(names[1]));
        for (size_t i = 2; i < names.size(); ++i) {
            if (!names[i].empty())
                parts.push_back(FoldOrdinal(names[i]));
        }
        return parts;
    }
    if (!IsDriveRoot(path) || (path.size() > 2 && path[2] != '\\'))
        return std::nullopt;
    parts.push_back(FoldOrdinal(path.substr(0, 2)));
    rest = path.substr(2);
    for (const std::string& name : SplitKeep(rest, '\\')) {
        if (!name.empty())
            parts.push_back(FoldOrdinal(name));
    }
    return parts;
}

bool IsPlainAbsolutePath(std::string_view path) {
    if (path.size() < 3 || !IsDriveRoot(path) || path[2] != '\\')
        return false;
    std::vector<std::string> names = SplitKeep(path.substr(3), '\\');
    for (const std::string& name : names) {
        if (name.empty() || name == "." || name == "..")
            return false;
        if (name.back() == '.' || name.back() == ' ' || name.front() == ' ')
            return false;
        if (name.find_first_of("/:~*?\"<>|") != std::string::npos)
            return false;
        for (char c : name) {
            if (static_cast<unsigned char>(c) < 0x20)
                return false;
        }
    }
    return true;
}

bool IsStrictlyBelow(const std::vector<std::string>& inner, const std::vector<std::string>& outer) {
    return !outer.empty() && inner.size() > outer.size() && std::equal(outer.begin(), outer.end(), inner.begin());
}

bool IsSameOrAboveParts(const std::vector<std::string>& candidate, const std::vector<std::string>& folder) {
    return !candidate.empty() && candidate.size() <= folder.size() &&
           std::equal(candidate.begin(), candidate.end(), folder.begin());
}

std::optional<ResolvedObject> ObjectIdentity::Resolve(const std::string& path) {
    auto identity = files_.Identify(path);
    if (!identity)
        return std::nullopt;
    auto parts = SplitFoldedPath(identity->finalPath);
    if (!parts)
        return std::nullopt;
    ResolvedObject object;
    object.parts = std::move(*parts);
    object.finalPath = identity->finalPath;
    object.volumeSerial = identity->volumeSerial;
    object.fileIdHigh = identity->fileIdHigh;
    object.fileIdLow = identity->fileIdLow;
    object.attributes = identity->attributes;
    return object;
}

bool ObjectIdentity::IsLinkBelow(const std::string& parentFinalPath, const std::string& childPath) {
    auto parent = SplitFoldedPath(parentFinalPath);
    auto child = Resolve(childPath);
    if (!parent || !child)
        return true;
    if (child->attributes & file_attr::kReparsePoint)
        return true;
    if (child->parts.size() == parent->size() + 1 && IsStrictlyBelow(child->parts, *parent))
        return false;
    // Wine names a drive's root folder by the Unix folder behind it but its entries by the
    // drive letter; an entry that resolves to exactly the path it was named by is no link.
    auto named = SplitFoldedPath(childPath);
    return !(named && *named == child->parts);
}

bool ObjectIdentity::IsLink(const std::string& path) {
    std::string trimmed = path;
    while (trimmed.size() > 3 && trimmed.back() == '\\')
        trimmed.pop_back();
    size_t slash = trimmed.rfind('\\');
    if (slash == std::string::npos || slash < 2)
        return false;
    auto parent = Resolve(trimmed.substr(0, slash == 2 ? 3 : slash));
    if (!parent)
        return false;
    return IsLinkBelow(parent->finalPath, trimmed);
}

std::string CanonicalKey::Relative() const {
    std::string text = scope == "CLASSES" ? "SOFTWARE\\CLASSES" : "";
    for (const std::string& part : parts) {
        if (!text.empty())
            text += '\\';
        text += part;
    }
    return text;
}

std::optional<CanonicalKey> ObjectIdentity::CanonicalKeyOf(std::string_view keyPath) {
    if (!sid_)
        sid_ = FoldOrdinal(registry_.CurrentUserSid());
    return CanonicalKeyOf(keyPath, *sid_);
}

std::optional<CanonicalKey> ObjectIdentity::CanonicalKeyOf(std::string_view keyPath, std::string_view sid) {
    std::vector<std::string> names;
    for (const std::string& name : SplitKeep(keyPath, '\\')) {
        // The registry skips empty names between separators.
        if (name.empty())
            continue;
        std::string folded = FoldOrdinal(name);
        // The 32-bit view is the same key for protection, wherever it stands.
        if (folded == "WOW6432NODE")
            continue;
        names.push_back(std::move(folded));
    }
    if (names.empty())
        return std::nullopt;
    const std::string root = names[0];
    std::string foldedSid = FoldOrdinal(sid);
    CanonicalKey key;
    std::vector<std::string> rest(names.begin() + 1, names.end());
    if (root == "HKEY_LOCAL_MACHINE" || root == "HKLM") {
        key.scope = "HKLM";
    } else if (root == "HKEY_CURRENT_USER" || root == "HKCU") {
        key.scope = "HKCU";
    } else if (root == "HKEY_CLASSES_ROOT" || root == "HKCR") {
        key.scope = "CLASSES";
    } else if (root == "HKEY_USERS" || root == "HKU") {
        if (rest.empty()) {
            key.scope = "HKU";
        } else {
            std::string user = rest[0];
            rest.erase(rest.begin());
            if (EndsWith(user, "_CLASSES")) {
                key.scope = "CLASSES";
            } else if (!foldedSid.empty() && user == foldedSid) {
                key.scope = "HKCU";
            } else if (user == ".DEFAULT") {
                key.scope = "HKU\\.DEFAULT";
            } else {
                key.scope = "HKU\\" + user;
            }
        }
    } else if (root == "HKEY_CURRENT_CONFIG" || root == "HKCC") {
        key.scope = "HKLM";
        rest.insert(rest.begin(), {"SYSTEM", "CURRENTCONTROLSET", "HARDWARE PROFILES", "CURRENT"});
    } else if (root == "HKEY_PERFORMANCE_DATA" || root == "HKEY_DYN_DATA" || root == "HKPD" ||
               root == "HKEY_PERFORMANCE_TEXT" || root == "HKEY_PERFORMANCE_NLSTEXT") {
        key.scope = "";
    } else {
        return std::nullopt;
    }
    // A hive's Software\Classes is the same key as the classes root's.
    if ((key.scope == "HKLM" || key.scope == "HKCU" || StartsWith(key.scope, "HKU\\")) && rest.size() >= 2 &&
        rest[0] == "SOFTWARE" && rest[1] == "CLASSES") {
        key.scope = "CLASSES";
        rest.erase(rest.begin(), rest.begin() + 2);
    }
    if (key.scope != "CLASSES" && rest.size() >= 2 && rest[0] == "SYSTEM" && IsControlSetName(rest[1])) {
        rest[1] = "CURRENTCONTROLSET";
    }
    key.parts = std::move(rest);
    return key;
}

bool ObjectIdentity::IsKeyLink(const std::string& keyPath) {
    size_t slash = keyPath.find('\\');
    if (slash == std::string::npos)
        return false;
    RootKey root = RootKeyFromName(keyPath.substr(0, slash));
    return root != RootKey::None && registry_.LinkTarget(root, keyPath.substr(slash + 1)).has_value();
}

std::optional<std::string> ObjectIdentity::KeyPathThroughLinks(const std::string& keyPath) {
    std::vector<std::string> names = SplitKeep(keyPath, '\\');
    if (names.size() < 2)
        return keyPath;
    std::string current = names[0];
    // A chain of links ends; a loop of them is not followed for ever.
    int linksFollowed = 0;
    for (size_t i = 1; i < names.size(); ++i) {
        current += "\\" + names[i];
        if (i + 1 == names.size())
            break;
        size_t slash = current.find('\\');
        RootKey root = RootKeyFromName(current.substr(0, slash));
        if (root == RootKey::None)
            return keyPath;
        auto target = registry_.LinkTarget(root, current.substr(slash + 1));
        if (!target)
            continue;
        if (++linksFollowed > 16)
            return std::nullopt;
        // "\REGISTRY\MACHINE\..." and "\REGISTRY\USER\..." are the two places a link can lead.
        std::string folded = FoldOrdinal(*target);
        std::string mapped;
        if (StartsWith(folded, "\\REGISTRY\\MACHINE\\")) {
            mapped = "HKEY_LOCAL_MACHINE\\" + target->substr(18);
        } else if (StartsWith(folded, "\\REGISTRY\\USER\\")) {
            mapped = "HKEY_USERS\\" + target->substr(15);
        } else {
            return std::nullopt;
        }
        current = mapped;
        // The target itself may sit below another link: start again from its root.
        std::vector<std::string> restNames(names.begin() + static_cast<std::ptrdiff_t>(i) + 1, names.end());
        std::vector<std::string> again = SplitKeep(current, '\\');
        again.insert(again.end(), restNames.begin(), restNames.end());
        names = std::move(again);
        current = names[0];
        i = 0;
    }
    return current;
}

std::optional<std::string> ObjectIdentity::KeyIdentity(const std::string& keyPath) {
    auto through = KeyPathThroughLinks(keyPath);
    if (!through)
        return std::nullopt;
    auto key = CanonicalKeyOf(*through);
    if (!key)
        return std::nullopt;
    return key->scope + "|" + key->Relative();
}

}  // namespace pellora
