// Small helpers the browser readers share: names that may be joined to a folder, texts shown in
// problem lines, and the finds and places the readers build.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/browsers/browser_reader.h"
#include "core/util/case_fold.h"
#include "core/util/text.h"

namespace pellora::browsers::detail {

inline constexpr size_t kMaxRegistryText = 1024 * 1024;

using FoldedPath = std::optional<std::vector<std::string>>;

// A name that may be joined to a folder: no separator, stream, wildcard, "." or "..".
inline bool IsPlainName(std::string_view name) {
    if (name.empty() || name == "." || name == ".." || name.size() > 255)
        return false;
    for (char c : name) {
        if (c == '\\' || c == '/' || c == ':' || c == '*' || c == '?' || c == '"' || c == '<' || c == '>' || c == '|' ||
            static_cast<unsigned char>(c) < 0x20)
            return false;
    }
    return true;
}

inline bool IsLocaleName(std::string_view name) {
    if (name.empty() || name.size() > 16)
        return false;
    return std::all_of(name.begin(), name.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-';
    });
}

// A text from a damaged file, shown in a problem line: bounded and without control characters.
inline std::string Shown(std::string_view text) {
    std::string shown;
    for (char c : text.substr(0, 80))
        shown += static_cast<unsigned char>(c) < 0x20 ? '?' : c;
    if (text.size() > 80)
        shown += "...";
    return shown;
}

inline std::string RootName(RootKey root) {
    return root == RootKey::LocalMachine ? "HKEY_LOCAL_MACHINE" : "HKEY_CURRENT_USER";
}

inline std::string JoinMember(const std::vector<std::string>& member) {
    std::string joined;
    for (const std::string& name : member) {
        if (!joined.empty())
            joined += '.';
        joined += name;
    }
    return joined;
}

inline bool IsAbsolutePath(std::string_view path) {
    return (path.size() >= 2 && path[1] == ':') || StartsWith(path, "\\\\");
}

inline Place JsonPlace(const std::string& file, std::vector<std::string> member) {
    Place place;
    place.kind = Place::Kind::JsonMember;
    place.path = file;
    place.member = std::move(member);
    return place;
}

inline Place ValuePlace(RootKey root, const std::string& key, const std::string& valueName) {
    Place place;
    place.kind = Place::Kind::RegistryValue;
    place.root = root;
    place.key = key;
    place.valueName = valueName;
    return place;
}

inline ExtensionFind NewExtension(const BrowserInfo& browser,
                           ExtensionSource source,
                           const std::string& profile,
                           const std::string& id) {
    ExtensionFind find;
    find.browser = browser.name;
    find.family = browser.family;
    find.profile = profile;
    find.source = source;
    find.id = id;
    return find;
}

// A setting found; one without a profile is a policy.
inline SettingFind NewSetting(const BrowserInfo& browser,
                       SettingKind kind,
                       std::string value,
                       const std::string& profile,
                       Place where) {
    SettingFind find;
    find.browser = browser.name;
    find.family = browser.family;
    find.profile = profile;
    find.kind = kind;
    find.value = std::move(value);
    find.policy = profile.empty();
    find.where = std::move(where);
    return find;
}

}  // namespace pellora::browsers::detail

namespace pellora::browsers {

// One folder read through one handle: its entries and its final path, folded.
struct BrowserReader::Listing {
    std::string path;  // without trailing backslash
    std::vector<FindEntry> entries;
    detail::FoldedPath finalPath;

    const FindEntry* Find(std::string_view name) const {
        for (const FindEntry& entry : entries) {
            if (EqualsOrdinalIgnoreCase(entry.name, name))
                return &entry;
        }
        return nullptr;
    }
};

}  // namespace pellora::browsers
