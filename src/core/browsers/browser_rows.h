// From browser finds to result rows and back: which finds the `extension` and `hijack` items of
// the database name, the Object text of each row, and the place a row carries
// (ResultRow::browserPlace, a small JSON text) so that removal, quarantine and restore find the
// same place again: the browser, the profile, the extension id or the setting's text, and the
// Place of the find. With it goes the identity of what the scan saw (ResultRow::foundAs: the
// folder or file of a folder or file place, the folder holding the file of a JSON or pref place,
// since the browsers replace those files whole; foundKey: a key's canonical form), and
// PlaceChange tells a removal that the place is no longer what was found.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/browsers/browser_reader.h"
#include "core/browsers/json_edit.h"
#include "core/identity/object_identity.h"
#include "core/state/app_state.h"

namespace pellora::browsers {

inline constexpr const char* kExtensionType = "extension";
inline constexpr const char* kHijackType = "hijack";

struct RowPlace {
    std::string browser;
    std::string profile;  // "" for what applies to every profile
    bool extension = true;
    std::string id;     // the extension's id (extension rows)
    std::string value;  // the setting's text as found (hijack rows)
    Place where;
};

std::string EncodeRowPlace(const RowPlace& place);
// Nothing when the text is not a place this module wrote: an unknown browser, a file place
// without an absolute path, a registry place outside HKLM and HKCU, an id that is not valid.
std::optional<RowPlace> DecodeRowPlace(std::string_view text);
const BrowserInfo* FindBrowser(std::string_view name);
// Whether a row is of the two kinds (by its type word, as the removal reads it).
bool IsBrowserRowType(std::string_view type);

// One item of the database: an extension id or a hijack text.
struct BrowserItem {
    bool extension = true;
    std::string object;
};

struct BrowserMatch {
    size_t item = 0;  // index into the items given
    RowPlace place;
    std::string object;  // the row's Object text
    int image = kImageNone;
};

// Every place of the inventory an item names, one per place (the first item wins), grouped by
// item in the items' order. Chromium ids compare exactly in lower case, Firefox ids without regard
// to case; a hijack text (at least one character) is found inside a home page, startup page,
// new-tab page or search address without regard to case.
std::vector<BrowserMatch> MatchBrowserItems(const BrowserInventory& inventory, const std::vector<BrowserItem>& items);

// The identity of the place as the scan sees it, into row.foundAs / row.foundKey.
void TakePlaceIdentity(const RowPlace& place, ResultRow& row, FileSystemPort& files, ObjectIdentity& identity);
// Why the place is no longer the one the row found (another object, a link on the way, a file
// that is now a folder, a key that leads elsewhere); nothing when it is the same or gone.
std::optional<std::string> PlaceChange(const RowPlace& place,
                                       const ResultRow& row,
                                       FileSystemPort& files,
                                       ObjectIdentity& identity);

std::string RegistryPath(const Place& where);  // "HKEY_...\key"

// A change to a JSON or prefs file, planned from its bytes: what goes (and so what a restore
// puts back) and the bytes written instead.
struct PlannedEdit {
    std::string file;
    std::string browser;  // whose file it is: a restore waits until that browser is closed
    bool prefs = false;   // a prefs.js / user.js, else JSON
    std::string before;   // the bytes it was planned from
    std::string after;
    struct Member {
        MemberPath path;
        OrderedJson value;
    };
    std::vector<Member> members;     // JSON members taken out, in order (restore puts them back in reverse)
    std::vector<std::string> lines;  // prefs lines taken out
    std::vector<LinePlace> places;   // where each stood (none in payloads from before they were kept)
};
// The edit that removes the row's find from `bytes` (the file's content), or why there is none:
// the member or pref is no longer there (`gone` set), or the file cannot be read as its kind.
std::optional<PlannedEdit> PlanEdit(const RowPlace& place, const std::string& bytes, bool& gone, std::string& problem);
// The same for a registry value holding JSON (ExtensionSettings): the text without the member.
std::optional<std::string> PlanValueEdit(const RowPlace& place, const std::string& text, bool& gone);

// The payload of a quarantined edit and back.
std::string EncodeEditPayload(const PlannedEdit& edit);
std::optional<PlannedEdit> DecodeEditPayload(std::string_view text);
// `bytes` with what the edit took out put back; nothing when it cannot be put back. `moved` is
// set when a prefs line went back elsewhere than it stood (the lines around it changed).
std::optional<std::string> UndoEdit(const PlannedEdit& edit, const std::string& bytes, bool* moved = nullptr);

// Whether the find of a row is still there (used for what remains after a removal).
Presence PlacePresence(const RowPlace& place, FileSystemPort& files, RegistryPort& registry);

}  // namespace pellora::browsers
