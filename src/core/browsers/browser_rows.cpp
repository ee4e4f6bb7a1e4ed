#include "core/browsers/browser_rows.h"

#include <algorithm>
#include <unordered_map>
#include <unordered_set>

#include "core/browsers/bounded_json.h"
#include "core/browsers/firefox_files.h"
#include "core/browsers/reader_support.h"
#include "core/util/case_fold.h"
#include "core/util/text.h"

namespace pellora::browsers {

using namespace detail;

namespace {

constexpr size_t kMaxShownText = 120;

// A text from a profile shown in a row: one line, no field separator; a name or an address is
// cut short, a place never (it tells two rows apart).
std::string RowText(std::string_view text, size_t most = kMaxShownText) {
    std::string shown;
    for (char c : text.substr(0, most))
        shown += static_cast<unsigned char>(c) < 0x20 ? '?' : c == '|' ? '/' : c;
    if (text.size() > most)
        shown += "...";
    return shown;
}

std::string PlaceText(const Place& where) {
    return RowText(where.Describe(), std::string::npos);
}

const char* SettingWord(SettingKind kind) {
    switch (kind) {
        case SettingKind::HomePage:
            return "home page";
        case SettingKind::StartupPage:
            return "startup page";
        case SettingKind::NewTabPage:
            return "new-tab page";
        case SettingKind::SearchUrl:
            return "search address";
        default:
            return nullptr;
    }
}

int ImageOf(Place::Kind kind) {
    switch (kind) {
        case Place::Kind::Folder:
            return kImageFolder;
        case Place::Kind::RegistryKey:
            return kImageRegKey;
        case Place::Kind::RegistryValue:
            return kImageRegVal;
        default:
            return kImageFile;
    }
}

std::string Owner(const std::string& browser, const std::string& profile) {
    return browser + (profile.empty() ? ", all profiles" : ", profile " + RowText(profile));
}

bool IsFilePlace(Place::Kind kind) {
    return kind == Place::Kind::File || kind == Place::Kind::Folder || kind == Place::Kind::JsonMember ||
           kind == Place::Kind::Pref;
}

std::optional<std::string> TextOf(const OrderedJson* node) {
    if (!node || !node->is_string())
        return std::nullopt;
    return node->get<std::string>();
}

bool IsIndex(const std::string& name) {
    return !name.empty() && name.size() < 10 && name.find_first_not_of("0123456789") == std::string::npos;
}

// Whether the element of a list holds the row's find: an add-on by its id, a text by its value,
// an object by the text at `tail`.
bool ElementHolds(const RowPlace& place,
                  const BrowserInfo& browser,
                  const OrderedJson& element,
                  const MemberPath& tail) {
    if (place.extension) {
        std::optional<std::string> id = TextOf(MemberAt(element, tail.empty() ? MemberPath{"id"} : tail));
        std::optional<std::string> normal = id ? NormalizeExtensionId(browser.family, *id) : std::nullopt;
        return normal && SameExtensionId(browser.family, *normal, place.id);
    }
    return TextOf(MemberAt(element, tail)) == place.value;
}

}  // namespace

const BrowserInfo* FindBrowser(std::string_view name) {
    for (const BrowserInfo& browser : KnownBrowsers()) {
        if (browser.name == name)
            return &browser;
    }
    return nullptr;
}

bool IsBrowserRowType(std::string_view type) {
    return EqualsIgnoreCase(type, kExtensionType) || EqualsIgnoreCase(type, kHijackType);
}

std::string RegistryPath(const Place& where) {
    return RootName(where.root) + "\\" + where.key;
}

std::string EncodeRowPlace(const RowPlace& place) {
    Json json = {
        {"browser", place.browser},     {"profile", place.profile},
        {"extension", place.extension}, {"id", place.id},
        {"value", place.value},         {"kind", static_cast<int>(place.where.kind)},
        {"path", place.where.path},     {"member", place.where.member},
        {"pref", place.where.pref},     {"root", place.where.root == RootKey::LocalMachine ? "HKLM" : "HKCU"},
        {"key", place.where.key},       {"valueName", place.where.valueName},
    };
    return json.dump(-1, ' ', false, Json::error_handler_t::replace);
}

std::optional<RowPlace> DecodeRowPlace(std::string_view text) {
    JsonReadResult json = ReadJson(text);
    if (!json.value || !json.value->is_object())
        return std::nullopt;
    const Json& j = *json.value;
    auto text_ = [&](const char* name) { return JsonText(JsonAt(j, {name})); };
    RowPlace place;
    const std::optional<int64_t> kind = JsonInteger(JsonAt(j, {"kind"}));
    const Json* extension = JsonAt(j, {"extension"});
    const Json* member = JsonAt(j, {"member"});
    std::optional<std::string> browser = text_("browser"), profile = text_("profile"), id = text_("id"),
                               value = text_("value"), path = text_("path"), pref = text_("pref"), root = text_("root"),
                               key = text_("key"), valueName = text_("valueName");
    if (!kind || *kind < 0 || *kind > static_cast<int>(Place::Kind::RegistryValue) || !extension ||
        !extension->is_boolean() || !member || !member->is_array() || !browser || !profile || !id || !value || !path ||
        !pref || !root || !key || !valueName)
        return std::nullopt;
    const BrowserInfo* info = FindBrowser(*browser);
    if (!info)
        return std::nullopt;
    place.browser = *browser;
    place.profile = *profile;
    place.extension = extension->get<bool>();
    place.id = *id;
    place.value = *value;
    place.where.kind = static_cast<Place::Kind>(*kind);
    place.where.path = *path;
    place.where.pref = *pref;
    place.where.key = *key;
    place.where.valueName = *valueName;
    for (const Json& name : *member) {
        if (!name.is_string())
            return std::nullopt;
        place.where.member.push_back(name.get<std::string>());
    }
    if (*root == "HKLM")
        place.where.root = RootKey::LocalMachine;
    else if (*root == "HKCU")
        place.where.root = RootKey::CurrentUser;
    else
        return std::nullopt;
    if (place.extension && !NormalizeExtensionId(info->family, place.id))
        return std::nullopt;
    if (IsFilePlace(place.where.kind)) {
        std::optional<std::vector<std::string>> parts = SplitFoldedPath(place.where.path);
        if (!IsAbsolutePath(place.where.path) || !parts || parts->size() < 2)
            return std::nullopt;
    } else if (place.where.key.empty()) {
        return std::nullopt;
    }
    return place;
}

std::vector<BrowserMatch> MatchBrowserItems(const BrowserInventory& inventory, const std::vector<BrowserItem>& items) {
    std::unordered_map<std::string, size_t> chromium;  // id -> first item
    std::unordered_map<std::string, size_t> firefox;   // folded id -> first item
    std::vector<std::pair<std::string, size_t>> texts;
    for (size_t i = 0; i < items.size(); ++i) {
        const BrowserItem& item = items[i];
        if (!item.extension) {
            if (!item.object.empty())
                texts.emplace_back(FoldOrdinal(item.object), i);
            continue;
        }
        if (std::optional<std::string> id = NormalizeExtensionId(BrowserFamily::Chromium, item.object))
            chromium.emplace(*id, i);
        else if (IsFirefoxAddonId(item.object))
            firefox.emplace(FoldOrdinal(item.object), i);
    }

    std::vector<BrowserMatch> matches;
    std::unordered_set<std::string> places;
    auto add = [&](size_t item, RowPlace place, std::string object) {
        if (!places.insert(FoldOrdinal(place.where.Describe())).second)
            return;
        BrowserMatch match;
        match.item = item;
        match.image = ImageOf(place.where.kind);
        match.place = std::move(place);
        match.object = std::move(object);
        matches.push_back(std::move(match));
    };
    for (const ExtensionFind& find : inventory.extensions) {
        if (find.id.empty())
            continue;
        const auto& ids = find.family == BrowserFamily::Chromium ? chromium : firefox;
        auto it = ids.find(find.family == BrowserFamily::Chromium ? find.id : FoldOrdinal(find.id));
        if (it == ids.end())
            continue;
        RowPlace place{find.browser, find.profile, true, find.id, "", find.where};
        std::string name = find.name.empty() ? "" : "\"" + RowText(find.name) + "\" ";
        add(it->second, place,
            Owner(find.browser, find.profile) + ": extension " + name + "(" + find.id + ") in " +
                PlaceText(find.where));
    }
    if (!texts.empty()) {
        for (const SettingFind& find : inventory.settings) {
            const char* word = SettingWord(find.kind);
            if (!word)
                continue;
            const std::string folded = FoldOrdinal(find.value);
            for (const auto& [text, item] : texts) {
                if (folded.find(text) == std::string::npos)
                    continue;
                RowPlace place{find.browser, find.profile, false, "", find.value, find.where};
                add(item, place,
                    Owner(find.browser, find.profile) + (find.policy ? ": policy " : ": ") + word + " " +
                        RowText(find.value) + " in " + PlaceText(find.where));
                break;
            }
        }
    }
    std::stable_sort(matches.begin(), matches.end(),
                     [](const BrowserMatch& a, const BrowserMatch& b) { return a.item < b.item; });
    return matches;
}

void TakePlaceIdentity(const RowPlace& place, ResultRow& row, FileSystemPort& files, ObjectIdentity& identity) {
    switch (place.where.kind) {
        case Place::Kind::File:
        case Place::Kind::Folder:
            row.foundAs = files.Identify(place.where.path);
            break;
        case Place::Kind::JsonMember:
        case Place::Kind::Pref:
            row.foundAs = files.Identify(place.where.path.substr(0, place.where.path.rfind('\\')));
            break;
        case Place::Kind::RegistryKey:
        case Place::Kind::RegistryValue:
            row.foundKey = identity.KeyIdentity(RegistryPath(place.where)).value_or("");
            break;
    }
}

std::optional<std::string> PlaceChange(const RowPlace& place,
                                       const ResultRow& row,
                                       FileSystemPort& files,
                                       ObjectIdentity& identity) {
    (void)files;
    auto differs = [&](const ResolvedObject& now) -> std::optional<std::string> {
        if (!row.foundAs)
            return std::nullopt;
        const FileIdentity& found = *row.foundAs;
        if (found.volumeSerial != now.volumeSerial || found.fileIdHigh != now.fileIdHigh ||
            found.fileIdLow != now.fileIdLow)
            return "not the object that was found";
        if (FoldOrdinal(found.finalPath) != FoldOrdinal(now.finalPath))
            return "reached through a link that was not there when it was found";
        return std::nullopt;
    };
    const std::string& path = place.where.path;
    switch (place.where.kind) {
        case Place::Kind::File:
        case Place::Kind::Folder: {
            std::optional<ResolvedObject> now = identity.Resolve(path);
            if (!now)
                return std::nullopt;
            const bool folder = now->attributes & file_attr::kDirectory;
            if (place.where.kind == Place::Kind::File && folder)
                return "a folder, not the file that was found";
            if (place.where.kind == Place::Kind::Folder && !folder)
                return "a file, not the folder that was found";
            if (now->attributes & file_attr::kReparsePoint)
                return "a link";
            return differs(*now);
        }
        case Place::Kind::JsonMember:
        case Place::Kind::Pref: {
            const std::string folder = path.substr(0, path.rfind('\\'));
            std::optional<ResolvedObject> parent = identity.Resolve(folder);
            if (!parent)
                return "its folder cannot be opened";
            if (std::optional<std::string> reason = differs(*parent))
                return "its folder is " + *reason;
            std::optional<ResolvedObject> file = identity.Resolve(path);
            if (!file)
                return std::nullopt;
            if (file->attributes & (file_attr::kDirectory | file_attr::kReparsePoint))
                return "not a plain file";
            std::optional<std::vector<std::string>> expected = SplitFoldedPath(parent->finalPath);
            if (!expected)
                return "its folder cannot be named";
            expected->push_back(FoldOrdinal(path.substr(path.rfind('\\') + 1)));
            if (file->parts != *expected)
                return "reached through a link";
            return std::nullopt;
        }
        case Place::Kind::RegistryKey:
        case Place::Kind::RegistryValue:
            if (!row.foundKey.empty() && identity.KeyIdentity(RegistryPath(place.where)).value_or("") != row.foundKey)
                return "not the key that was found";
            return std::nullopt;
    }
    return std::nullopt;
}

namespace {

// The member that now holds the row's find in a JSON tree: the member of the place, or, where a
// list lies on its way, the element that holds the same find (lists shift when an element goes).
std::optional<MemberPath> Locate(const RowPlace& place, const BrowserInfo& browser, const OrderedJson& root) {
    const MemberPath& member = place.where.member;
    for (size_t k = 0; k < member.size(); ++k) {
        if (!IsIndex(member[k]))
            continue;
        const OrderedJson* list = MemberAt(root, MemberPath(member.begin(), member.begin() + k));
        if (!list || !list->is_array())
            continue;
        const MemberPath tail(member.begin() + k + 1, member.end());
        MemberPath found(member.begin(), member.begin() + k + 1);
        const size_t first = std::stoul(member[k]);
        if (first < list->size() && ElementHolds(place, browser, (*list)[first], tail)) {
            found.insert(found.end(), tail.begin(), tail.end());
            return found;
        }
        for (size_t i = 0; i < list->size(); ++i) {
            if (ElementHolds(place, browser, (*list)[i], tail)) {
                found[k] = std::to_string(i);
                found.insert(found.end(), tail.begin(), tail.end());
                return found;
            }
        }
        return std::nullopt;
    }
    const OrderedJson* node = MemberAt(root, member);
    if (!node || (!place.extension && TextOf(node) != place.value))
        return std::nullopt;
    return member;
}

// What goes for a find at `located`: an extension's whole entry (a list element with all of
// it), a setting's whole preference in a Chromium profile (its default comes back), a policy's
// member (a search engine's whole entry).
MemberPath RemovedMember(const RowPlace& place, const BrowserInfo& browser, const MemberPath& located) {
    const bool policy = !located.empty() && located[0] == "policies";
    if (!place.extension && browser.family == BrowserFamily::Chromium && !policy)
        return TrackedPreference(located);
    for (size_t k = 0; k < located.size(); ++k) {
        if (IsIndex(located[k]) && k + 1 < located.size())
            return MemberPath(located.begin(), located.begin() + k + 1);
    }
    return located;
}

}  // namespace

std::optional<PlannedEdit> PlanEdit(const RowPlace& place, const std::string& bytes, bool& gone, std::string& problem) {
    gone = false;
    const BrowserInfo* browser = FindBrowser(place.browser);
    if (!browser)
        return std::nullopt;
    PlannedEdit edit;
    edit.file = place.where.path;
    edit.browser = place.browser;
    edit.before = bytes;
    if (place.where.kind == Place::Kind::Pref) {
        edit.prefs = true;
        edit.after = WithoutPref(bytes, place.where.pref, place.value, edit.lines, edit.places);
        gone = edit.lines.empty();
        return gone ? std::nullopt : std::optional<PlannedEdit>(std::move(edit));
    }
    if (place.where.kind != Place::Kind::JsonMember)
        return std::nullopt;
    OrderedRead json = ReadOrderedJson(bytes);
    if (!json.value) {
        problem = json.problem;
        return std::nullopt;
    }
    // The rest of the file is written back as it was read: a file holding what would not read
    // back the same (a number beyond the double range, say) is not rewritten at all.
    if (ReadOrderedJson(WriteOrderedJson(*json.value, false)).value != json.value) {
        problem = "holds values that would not be written back unchanged";
        return std::nullopt;
    }
    std::optional<MemberPath> located = Locate(place, *browser, *json.value);
    if (!located) {
        gone = true;
        return std::nullopt;
    }
    const MemberPath removed = RemovedMember(place, *browser, *located);
    std::optional<OrderedJson> value = TakeMember(*json.value, removed);
    if (!value) {
        gone = true;
        return std::nullopt;
    }
    edit.members.push_back({removed, std::move(*value)});
    // What protects a Chromium preference goes with it, or the browser would reset it.
    if (browser->family == BrowserFamily::Chromium && removed.size() >= 1 && removed[0] != "policies") {
        for (const MemberPath& mac : MacPaths(TrackedPreference(removed))) {
            if (std::optional<OrderedJson> taken = TakeMember(*json.value, mac))
                edit.members.push_back({mac, std::move(*taken)});
        }
    }
    edit.after = WriteOrderedJson(*json.value, json.byteOrderMark);
    return edit;
}

std::optional<std::string> PlanValueEdit(const RowPlace& place, const std::string& text, bool& gone) {
    gone = false;
    OrderedRead json = ReadOrderedJson(text);
    if (!json.value)
        return std::nullopt;
    if (!TakeMember(*json.value, place.where.member)) {
        gone = true;
        return std::nullopt;
    }
    return WriteOrderedJson(*json.value, false);
}

std::string EncodeEditPayload(const PlannedEdit& edit) {
    OrderedJson json = OrderedJson::object();
    json["file"] = edit.file;
    json["browser"] = edit.browser;
    json["prefs"] = edit.prefs;
    json["members"] = OrderedJson::array();
    for (const PlannedEdit::Member& member : edit.members)
        json["members"].push_back({{"path", member.path}, {"value", member.value}});
    json["lines"] = edit.lines;
    json["places"] = OrderedJson::array();
    for (const LinePlace& place : edit.places)
        json["places"].push_back({{"index", place.index}, {"previous", place.previous}, {"next", place.next}});
    return WriteOrderedJson(json, false);
}

std::optional<PlannedEdit> DecodeEditPayload(std::string_view text) {
    OrderedRead json = ReadOrderedJson(text);
    if (!json.value || !json.value->is_object())
        return std::nullopt;
    const OrderedJson& j = *json.value;
    const OrderedJson* file = MemberAt(j, {"file"});
    const OrderedJson* prefs = MemberAt(j, {"prefs"});
    const OrderedJson* members = MemberAt(j, {"members"});
    const OrderedJson* lines = MemberAt(j, {"lines"});
    if (!file || !file->is_string() || !prefs || !prefs->is_boolean() || !members || !members->is_array() || !lines ||
        !lines->is_array())
        return std::nullopt;
    PlannedEdit edit;
    edit.file = file->get<std::string>();
    if (const OrderedJson* browser = MemberAt(j, {"browser"}); browser && browser->is_string())
        edit.browser = browser->get<std::string>();
    edit.prefs = prefs->get<bool>();
    for (const OrderedJson& member : *members) {
        const OrderedJson* path = MemberAt(member, {"path"});
        const OrderedJson* value = MemberAt(member, {"value"});
        if (!path || !path->is_array() || path->empty() || !value)
            return std::nullopt;
        PlannedEdit::Member taken;
        for (const OrderedJson& name : *path) {
            if (!name.is_string())
                return std::nullopt;
            taken.path.push_back(name.get<std::string>());
        }
        taken.value = *value;
        edit.members.push_back(std::move(taken));
    }
    for (const OrderedJson& line : *lines) {
        if (!line.is_string())
            return std::nullopt;
        edit.lines.push_back(line.get<std::string>());
    }
    // Payloads from before places were kept have none: their lines go where a changed file's would.
    if (const OrderedJson* places = MemberAt(j, {"places"}); places && places->is_array()) {
        for (const OrderedJson& place : *places) {
            const OrderedJson* index = MemberAt(place, {"index"});
            const OrderedJson* previous = MemberAt(place, {"previous"});
            const OrderedJson* next = MemberAt(place, {"next"});
            if (!index || !index->is_number_unsigned() || !previous || !previous->is_string() || !next ||
                !next->is_string())
                return std::nullopt;
            edit.places.push_back(
                LinePlace{index->get<size_t>(), previous->get<std::string>(), next->get<std::string>()});
        }
        if (edit.places.size() != edit.lines.size())
            return std::nullopt;
    }
    return edit;
}

std::optional<std::string> UndoEdit(const PlannedEdit& edit, const std::string& bytes, bool* moved) {
    if (edit.prefs) {
        bool elsewhere = false;
        std::optional<std::string> text = WithPrefLinesBack(bytes, edit.lines, edit.places, elsewhere);
        if (moved)
            *moved = elsewhere;
        return text;
    }
    OrderedRead json = ReadOrderedJson(bytes);
    if (!json.value)
        return std::nullopt;
    for (size_t i = edit.members.size(); i-- > 0;) {
        if (!PutMember(*json.value, edit.members[i].path, edit.members[i].value))
            return std::nullopt;
    }
    return WriteOrderedJson(*json.value, json.byteOrderMark);
}

Presence PlacePresence(const RowPlace& place, FileSystemPort& files, RegistryPort& registry) {
    const Place& where = place.where;
    switch (where.kind) {
        case Place::Kind::File:
        case Place::Kind::Folder:
            return files.Probe(where.path);
        case Place::Kind::JsonMember:
        case Place::Kind::Pref: {
            const Presence file = files.Probe(where.path);
            if (file != Presence::Present)
                return file;
            std::optional<std::string> bytes = files.ReadFileUpTo(where.path, kMaxProfileFileLength);
            if (!bytes)
                return Presence::Unknown;
            bool gone = false;
            std::string problem;
            if (PlanEdit(place, *bytes, gone, problem))
                return Presence::Present;
            return gone ? Presence::Absent : Presence::Unknown;
        }
        case Place::Kind::RegistryKey:
            return registry.ProbeKey(where.root, where.key);
        case Place::Kind::RegistryValue: {
            if (where.member.empty())
                return registry.ProbeValue(where.root, where.key, where.valueName);
            std::optional<RegValue> value = registry.QueryValue(where.root, where.key, where.valueName);
            if (!value)
                return registry.ProbeValue(where.root, where.key, where.valueName);
            bool gone = false;
            if (PlanValueEdit(place, value->data.substr(0, value->data.find('\0')), gone))
                return Presence::Present;
            return gone ? Presence::Absent : Presence::Unknown;
        }
    }
    return Presence::Unknown;
}

}  // namespace pellora::browsers
