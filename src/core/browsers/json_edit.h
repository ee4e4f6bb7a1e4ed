// Structural edits of the browsers' JSON files and of Firefox's prefs files: a member is taken out
// of (or put back into) the parsed tree and the tree written again, so every other member stays as
// it was, in its order (nlohmann's ordered_json). The same bounds as the readers apply (byte-order
// mark, nesting limit, no exceptions). Also which protection MACs guard a Chromium preference:
// Chromium keeps, for each tracked preference, a MAC below `protection.macs` (the preference's
// path as nested members; a split preference such as `extensions.settings` one per entry) and,
// where the system's encryption is available, an encrypted hash below the same path with
// `_encrypted_hash` appended to the last name. A value whose MACs are gone with it reads as a
// trusted empty value; a MAC left behind for a removed entry, or an entry left without its MAC,
// makes the browser reset the preference.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

namespace pellora::browsers {

using OrderedJson = nlohmann::ordered_json;
using MemberPath = std::vector<std::string>;

struct OrderedRead {
    std::optional<OrderedJson> value;
    bool byteOrderMark = false;
    std::string problem;
};
[[nodiscard]] OrderedRead ReadOrderedJson(std::string_view bytes);
// Compact, as the browsers write their files; invalid UTF-8 in a text is replaced, never thrown.
std::string WriteOrderedJson(const OrderedJson& value, bool byteOrderMark);

// The member at `path` (object member names, array elements by decimal index), or nullptr.
const OrderedJson* MemberAt(const OrderedJson& root, const MemberPath& path);
// Takes the member out; nothing when it is not there.
std::optional<OrderedJson> TakeMember(OrderedJson& root, const MemberPath& path);
// Puts `value` at `path`: missing objects on the way are created, an array element is inserted at
// its index (or at the end when the array is shorter). False when the way is blocked (a text where
// an object should be, an index into an object).
bool PutMember(OrderedJson& root, const MemberPath& path, OrderedJson value);

// The preference a member of a Chromium preference file belongs to, as its tracking knows it
// (`homepage`, `session.startup_urls`, `extensions.settings.<id>`, ...); the member itself when
// no tracked preference holds it.
MemberPath TrackedPreference(const MemberPath& member);
// The MAC members that protect `preference` (see above).
std::vector<MemberPath> MacPaths(const MemberPath& preference);

// Where a line taken out of a prefs file stood: its number in the file (from 0), the line before
// it and the first line after it that stayed (each with its line end; "" at the file's start or
// end). Lines taken out are put back there while those neighbours are unchanged.
struct LinePlace {
    size_t index = 0;
    std::string previous;
    std::string next;
};

// A prefs.js / user.js without the lines that set `pref` to `value`; `removed` receives them and
// `places` where each stood.
std::string WithoutPref(std::string_view text,
                        std::string_view pref,
                        std::string_view value,
                        std::vector<std::string>& removed,
                        std::vector<LinePlace>& places);
// `text` with `lines` put back, each at its place while the lines around it are unchanged (byte
// for byte the file it was taken from), otherwise before the first line that sets a pref, where
// no comment can be open and the browser reads it; `moved` is set then. A line already in the
// file is not put back twice. Nothing when a line would not be read where it can go.
std::optional<std::string> WithPrefLinesBack(std::string_view text,
                                             const std::vector<std::string>& lines,
                                             const std::vector<LinePlace>& places,
                                             bool& moved);

}  // namespace pellora::browsers
