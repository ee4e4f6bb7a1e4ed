#include "core/removal/object_presence.h"

#include <utility>
#include <vector>

#include "core/autostart/autostart.h"
#include "core/autostart/hosts_file.h"
#include "core/autostart/scheduled_task.h"
#include "core/autostart/shortcut_places.h"
#include "core/browsers/browser_rows.h"
#include "core/scan/persistence_matches.h"
#include "core/settings/registry_access.h"
#include "core/util/text.h"

namespace pellora {

namespace {

// Root and path below it of a well-formed key path; RootKey::None otherwise. Checked here so that
// a damaged object never reaches the registry layer, which would answer with a message.
std::pair<RootKey, std::string> SplitKeyQuietly(const std::string& keyPath) {
    if (!StartsWith(keyPath, "HKEY_") || EndsWith(keyPath, "\\"))
        return {RootKey::None, ""};
    size_t slash = keyPath.find('\\');
    if (slash == std::string::npos)
        return {RootKeyFromName(keyPath), ""};
    return {RootKeyFromName(keyPath.substr(0, slash)), keyPath.substr(slash + 1)};
}

// A "path" object may be a wildcard pattern ("C:\\WINDOWS\\*.scr"): present while anything
// matches it, absent once a readable folder holds no match or the folder itself is gone.
Presence PathPresence(FileSystemPort& files, const std::string& object) {
    if (object.find_first_of("*?") == std::string::npos)
        return files.Probe(object);
    std::vector<FindEntry> entries;
    if (files.FindEntries(object, entries))
        return entries.empty() ? Presence::Absent : Presence::Present;
    const size_t slash = object.rfind('\\');
    return slash != std::string::npos && files.Probe(object.substr(0, slash)) == Presence::Absent ? Presence::Absent
                                                                                                  : Presence::Unknown;
}

}  // namespace

Presence KeyPresence(RegistryPort& registry, const std::string& keyPath) {
    auto [root, subkey] = SplitKeyQuietly(keyPath);
    return root == RootKey::None ? Presence::Absent : registry.ProbeKey(root, subkey);
}

Presence ValuePresence(RegistryPort& registry, const std::string& keyPath, const std::string& name) {
    auto [root, subkey] = SplitKeyQuietly(keyPath);
    return root == RootKey::None ? Presence::Absent : registry.ProbeValue(root, subkey, name);
}

Presence ObjectPresence(const ResultRow& row,
                        const std::string& cookiesFolder,
                        FileSystemPort& files,
                        RegistryPort& registry,
                        const PersistencePorts& persistence) {
    const std::string kind = ToLowerAscii(row.type);
    if (kind == "cookie")
        return cookiesFolder.empty() ? Presence::Unknown : files.Probe(cookiesFolder + "\\" + row.object);
    if (IsFileRowType(kind) || kind == "folder")
        return row.object.empty() ? Presence::Absent : PathPresence(files, row.object);
    if (kind == "regkey")
        return KeyPresence(registry, row.object);
    if (kind == "regval") {
        size_t comma = row.object.find(',');
        if (comma == std::string::npos)
            return Presence::Absent;
        return ValuePresence(registry, row.object.substr(0, comma), row.object.substr(comma + 1));
    }
    if (browsers::IsBrowserRowType(kind)) {
        std::optional<browsers::RowPlace> place = browsers::DecodeRowPlace(row.browserPlace);
        return place ? browsers::PlacePresence(*place, files, registry) : Presence::Present;
    }
    if (kind == "shortcut") {
        ObjectIdentity identity(files, registry);
        return autostart::ShortcutTextPresence(identity, row.object, row.shortcutText);
    }
    if (kind == "task") {
        if (!persistence.tasks || !persistence.system)
            return Presence::Unknown;
        return ScheduledTasks(*persistence.tasks, files, persistence.system->SystemDirectory())
            .TaskPresence(row.object);
    }
    if (kind == "service")
        return persistence.services ? persistence.services->ProbeService(row.object) : Presence::Unknown;
    if (kind == "hosts") {
        if (!persistence.system)
            return Presence::Unknown;
        const std::optional<std::string> text =
            files.ReadFileUpTo(HostsFilePath(registry, *persistence.system), autostart::kMaxHostsLength);
        if (!text)
            return Presence::Unknown;
        return LinesMapping(*text, row.object).empty() ? Presence::Absent : Presence::Present;
    }
    if (kind == "regpart") {
        // One element of a list value: present while the value still holds it.
        const std::optional<ListPart> part = ParseListPart(row.object);
        if (!part)
            return Presence::Present;
        auto [root, subkey] = SplitKeyQuietly(part->keyPath);
        const std::optional<RegValue> value =
            root == RootKey::None ? std::nullopt : registry.QueryValue(root, subkey, part->name);
        if (!value)
            return ValuePresence(registry, part->keyPath, part->name);
        return WithoutListPart(value->data, part->part, ListSeparators(part->name)) ? Presence::Present
                                                                                    : Presence::Absent;
    }
    // A kind the removal run does not know is never removed.
    return Presence::Present;
}

}  // namespace pellora
