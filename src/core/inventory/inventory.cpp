// The inventory's walk: collect the entries, check each program once, flag, keep the cache.
#include "core/inventory/inventory.h"

#include <algorithm>
#include <optional>
#include <set>
#include <unordered_set>

#include "core/autostart/autostart.h"
#include "core/browsers/browser_reader.h"
#include "core/database/folder_variables.h"
#include "core/database/item_parser.h"
#include "core/util/cache_lines.h"
#include "core/util/case_fold.h"
#include "core/util/hex.h"
#include "core/util/text.h"

namespace pellora::inventory {
namespace {

constexpr const char* kCacheHeader = "pellora-inventory-cache 2";

const char* SourceName(browsers::ExtensionSource source) {
    using browsers::ExtensionSource;
    switch (source) {
        case ExtensionSource::InstalledFolder:
            return "installed";
        case ExtensionSource::ProfileSettings:
            return "profile settings";
        case ExtensionSource::FirefoxAddonList:
            return "add-on list";
        case ExtensionSource::FirefoxXpi:
            return "xpi";
        case ExtensionSource::ExternalKey:
            return "external key";
        case ExtensionSource::ExternalFile:
            return "external file";
        case ExtensionSource::ForceInstallPolicy:
            return "force-install policy";
        case ExtensionSource::ExtensionSettingsPolicy:
            return "ExtensionSettings policy";
        case ExtensionSource::FirefoxInstallPolicy:
            return "install policy";
    }
    return "";
}

const char* SettingName(browsers::SettingKind kind) {
    using browsers::SettingKind;
    switch (kind) {
        case SettingKind::HomePage:
            return "home page";
        case SettingKind::StartupPage:
            return "startup page";
        case SettingKind::RestoreOnStartup:
            return "restore on startup";
        case SettingKind::NewTabPage:
            return "new-tab page";
        case SettingKind::SearchUrl:
            return "search address";
        case SettingKind::SearchProvider:
            return "search provider";
    }
    return "";
}

void AddBrowserEntries(const browsers::BrowserInventory& browsers, std::vector<InventoryEntry>& out) {
    for (const browsers::ExtensionFind& find : browsers.extensions) {
        InventoryEntry entry;
        entry.place = place::kBrowserExtension;
        entry.location = find.where.Describe();
        entry.name = find.browser + (find.profile.empty() ? "" : " " + find.profile) + ": " +
                     (find.name.empty() ? find.id : find.name + " (" + find.id + ")");
        entry.command = std::string(SourceName(find.source)) + (find.updateUrl.empty() ? "" : " " + find.updateUrl);
        if (find.unpacked)
            entry.command += " unpacked from " + find.folder;
        entry.enabled = find.state != 0;
        // The id travels in `description` until the database check has read it.
        entry.description = find.id;
        out.push_back(std::move(entry));
    }
    for (const browsers::SettingFind& find : browsers.settings) {
        if (!find.policy)
            continue;
        InventoryEntry entry;
        entry.place = place::kBrowserPolicy;
        entry.location = find.where.Describe();
        entry.name = find.browser + ": " + SettingName(find.kind);
        entry.command = find.value;
        out.push_back(std::move(entry));
    }
    for (const browsers::ReadProblem& problem : browsers.problems) {
        InventoryEntry entry;
        entry.place = place::kBrowserProblem;
        entry.location = problem.place;
        entry.name = problem.browser;
        entry.note = problem.text;
        out.push_back(std::move(entry));
    }
}

// Tabs and line breaks would break the cache's lines; no verdict text needs them.
std::string CacheField(const std::string& text) {
    std::string out = text;
    for (char& c : out)
        if (c == '\t' || c == '\r' || c == '\n')
            c = ' ';
    return out;
}

std::vector<std::string> SplitTabs(const std::string& line) {
    std::vector<std::string> fields;
    size_t start = 0;
    while (true) {
        size_t tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
        if (tab == std::string::npos)
            return fields;
        start = tab + 1;
    }
}

std::optional<TrustStatus> StatusFromCode(const std::string& code) {
    if (code == "signed")
        return TrustStatus::Signed;
    if (code == "untrusted")
        return TrustStatus::Untrusted;
    if (code == "unsigned")
        return TrustStatus::Unsigned;
    if (code == "bad")
        return TrustStatus::Bad;
    return std::nullopt;
}

void AddNote(InventoryEntry& entry, const std::string& note) {
    if (!note.empty())
        entry.note = entry.note.empty() ? note : entry.note + "; " + note;
}

std::string FileNameOf(const std::string& path) {
    const size_t slash = path.find_last_of('\\');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// What the loaded database names: full paths of `path` items (folder variables replaced), file
// names of `file` items and the ids of `extension` items, each folded as Windows compares them.
struct DatabaseNames {
    std::unordered_set<std::string> paths;
    std::unordered_set<std::string> fileNames;
    std::unordered_set<std::string> extensionIds;
};

DatabaseNames ReadDatabaseNames(const AppState& state) {
    DatabaseNames names;
    SignatureItem item;
    for (size_t i = 0; i < state.lstDBaseFile.size(); ++i) {
        const std::string& line = state.lstDBaseFile[i];
        if (ClassifyLine(i + 1, line) != LineKind::Signature)
            continue;
        SplitItem(line, item);
        const ItemKind kind = KindOfLine(line);
        if (kind == ItemKind::Path) {
            std::string object = item.object();
            if (object.find('%') != std::string::npos)
                ReplaceVariableFolders(object, state.folders);
            names.paths.insert(FoldOrdinal(object));
        } else if (kind == ItemKind::File) {
            names.fileNames.insert(FoldOrdinal(item.object()));
        } else if (EqualsIgnoreCase(item.type(), "extension")) {
            names.extensionIds.insert(FoldOrdinal(item.object()));
        }
    }
    return names;
}

}  // namespace

bool NamedAsExecutable(const std::string& path) {
    // The kinds that are Windows executables (PE files); a ".com" may be a plain DOS program and
    // a script is text by nature.
    const std::string name = FoldOrdinal(FileNameOf(path));
    for (const char* extension : {".EXE", ".DLL", ".SYS", ".SCR", ".CPL", ".OCX", ".DRV"}) {
        if (name.ends_with(extension))
            return true;
    }
    return false;
}

bool IsFlagged(const InventoryEntry& entry) {
    return (entry.flags & flag::kIgnored) == 0 && (entry.flags & ~flag::kScriptHost) != 0;
}

bool MayBeHidden(const InventoryEntry& entry) {
    return IsOsSigned(entry) && !IsFlagged(entry) && (!(entry.flags & flag::kScriptHost) || entry.systemHost);
}

bool IsOsSigned(const InventoryEntry& entry) {
    return entry.signature == TrustStatus::Signed &&
           (entry.signer == "Microsoft Windows" || entry.signer == "Microsoft Corporation" ||
            entry.signer == "Microsoft Windows Publisher");
}

void SortFlaggedFirst(std::vector<InventoryEntry>& entries) {
    std::stable_partition(entries.begin(), entries.end(), [](const InventoryEntry& e) { return IsFlagged(e); });
}

std::vector<std::string> FlagNames(uint32_t flags) {
    std::vector<std::string> names;
    if (flags & flag::kUnsigned)
        names.emplace_back("unsigned");
    if (flags & flag::kUserWritable)
        names.emplace_back("user-writable");
    if (flags & flag::kMissing)
        names.emplace_back("missing");
    if (flags & flag::kDatabase)
        names.emplace_back("database");
    if (flags & flag::kIgnored)
        names.emplace_back("ignored");
    if (flags & flag::kNetwork)
        names.emplace_back("network");
    if (flags & flag::kScriptHost)
        names.emplace_back("script-host");
    if (flags & flag::kEncoded)
        names.emplace_back("encoded");
    return names;
}

std::string SignatureName(TrustStatus status) {
    switch (status) {
        case TrustStatus::Signed:
            return "signed";
        case TrustStatus::Untrusted:
            return "untrusted";
        case TrustStatus::Unsigned:
            return "unsigned";
        case TrustStatus::Bad:
            return "bad";
        case TrustStatus::Unchecked:
            break;
    }
    return "";
}

std::string IgnoreObjectOf(const InventoryEntry& entry) {
    auto encode = [](const std::string& text) {
        std::string out;
        for (char c : text) {
            switch (c) {
                case '%':
                    out += "%25";
                    break;
                case '/':
                    out += "%2F";
                    break;
                case '|':
                    out += "%7C";
                    break;
                case '\r':
                    out += "%0D";
                    break;
                case '\n':
                    out += "%0A";
                    break;
                case '\\':
                    out += '/';
                    break;
                default:
                    out += c;
            }
        }
        return out;
    };
    return encode(entry.place) + " " + encode(entry.location) + "//" + encode(entry.name) + " -> " +
           encode(entry.program);
}

std::string IgnoreEntryOf(const InventoryEntry& entry) {
    return std::string(kIgnoreKind) + "|" + IgnoreObjectOf(entry) + "|" + entry.place;
}

InventoryBuilder::InventoryBuilder(RegistryPort& registry,
                                   FileSystemPort& files,
                                   SystemPort& system,
                                   TrustPort& trust,
                                   UiPort& ui)
    : registry_(registry), files_(files), system_(system), trust_(trust), ui_(ui) {}

std::vector<InventoryEntry> InventoryBuilder::Collect() {
    std::vector<InventoryEntry> out;
    for (autostart::AutostartEntry& found : autostart::AutostartEnumerator(registry_, files_, system_).Enumerate()) {
        InventoryEntry entry;
        entry.place = std::move(found.place);
        entry.location = std::move(found.location);
        entry.name = std::move(found.name);
        entry.command = std::move(found.command);
        // A hosts line keeps the carriage return of a CRLF file: no part of the entry.
        while (!entry.command.empty() && (entry.command.back() == '\r' || entry.command.back() == ' '))
            entry.command.pop_back();
        entry.program = std::move(found.program);
        entry.exists = found.exists;
        entry.enabled = found.enabled;
        entry.note = std::move(found.problem);
        entry.hosts = std::move(found.hosts);
        entry.payload = found.payload;
        entry.payloadText = std::move(found.payloadText);
        out.push_back(std::move(entry));
    }
    ReadNetworkSettings(registry_, out);
    AddBrowserEntries(browsers::BrowserReader(files_, registry_, system_).ReadAll(), out);
    return out;
}

bool InventoryBuilder::Cacheable(const std::string& program) const {
    const std::string folded = FoldOrdinal(program);
    for (const std::string& folder : cachedFolders_)
        if (StartsWith(folded, folder))
            return true;
    return false;
}

const InventoryBuilder::Verdict& InventoryBuilder::CheckOnce(const std::string& program) {
    const std::string folded = FoldOrdinal(program);
    auto done = checked_.find(folded);
    if (done == checked_.end())
        done = checked_.emplace(folded, Check(program)).first;
    return done->second;
}

void InventoryBuilder::JudgeHosts(InventoryEntry& entry, NetworkPaths& network) {
    if (entry.hosts.empty())
        return;
    entry.flags |= flag::kScriptHost;
    using autostart::HostPayload;
    switch (entry.payload) {
        case HostPayload::Url:
            entry.flags |= flag::kNetwork;
            AddNote(entry, "network address " + entry.payloadText + ", not checked");
            break;
        case HostPayload::Encoded:
            entry.flags |= flag::kEncoded;
            AddNote(entry, "encoded command: " + entry.payloadText);
            break;
        case HostPayload::Inline:
            AddNote(entry, entry.payloadText.empty() ? "script host without a script" : "inline script");
            break;
        case HostPayload::Program:
            break;
    }
    // The system's own copy: in System32 (or below it, as Windows PowerShell is) or SysWOW64,
    // signed by the system's publisher, and no user may change it.
    const std::string system = FoldOrdinal(system_.SystemDirectory()) + "\\";
    const std::string wow = FoldOrdinal(system_.WindowsDirectory() + "\\SysWOW64\\");
    bool own = entry.payload == HostPayload::Program && system.size() > 1;
    for (const std::string& host : entry.hosts) {
        const std::string folded = FoldOrdinal(host);
        if (!own || network.IsNetwork(host) || !(StartsWith(folded, system) || StartsWith(folded, wow))) {
            own = false;
            break;
        }
        const Verdict& verdict = CheckOnce(host);
        InventoryEntry judged;
        judged.signature = verdict.status;
        judged.signer = verdict.signer;
        own = IsOsSigned(judged) && !verdict.userWritable;
    }
    entry.systemHost = own;
}

InventoryBuilder::Verdict InventoryBuilder::Check(const std::string& program) {
    Verdict verdict;
    verdict.userWritable = writeAccess_->WhoMayChangeFile(program).has_value();
    std::vector<FindEntry> found;
    // The program's own entry gives its size and write time; a name with wildcards is no file.
    if (program.find_first_of("*?") != std::string::npos || !files_.FindEntries(program, found) || found.size() != 1) {
        verdict.note = "cannot be opened";
        return verdict;
    }
    const FindEntry& file = found.front();
    if (file.attributes & file_attr::kDirectory) {
        verdict.note = "a folder, not a file";
        return verdict;
    }
    if (file.size > kMaxVerifiedLength) {
        verdict.note = "larger than 512 MiB: signature not checked";
        return verdict;
    }
    // A small file named like an executable that does not begin as one (a text, an empty file)
    // runs as nothing: said in those words, not as a damaged signature.
    if (NamedAsExecutable(program) && file.size <= kMaxNotProgramProbe) {
        const std::optional<std::string> bytes = files_.ReadFileUpTo(program, kMaxNotProgramProbe);
        if (bytes && !bytes->starts_with("MZ")) {
            verdict.notProgram = true;
            return verdict;
        }
    }
    std::string key;
    if (const std::optional<FileIdentity> identity = files_.Identify(program)) {
        const auto Hex = NumberToHex;
        key = Hex(identity->volumeSerial) + ":" + Hex(identity->fileIdHigh) + ":" + Hex(identity->fileIdLow) + ":" +
              Hex(file.size) + ":" + Hex(file.lastWriteTime);
    }
    // A user who may write the file can change it and put its write time back: only a file of
    // the system's folders that no user may change keeps its verdict in the cache.
    const bool cacheable = !key.empty() && !verdict.userWritable && Cacheable(program);
    if (cacheable) {
        auto cached = cache_.find(key);
        if (cached != cache_.end()) {
            ++cachedCount;
            Verdict kept = cached->second;
            used_[key] = kept;
            kept.userWritable = false;
            return kept;
        }
    }
    const FileTrust trust = trust_.VerifyFile(program);
    ++verifiedCount;
    verdict.status = trust.status;
    verdict.signer = trust.signer;
    verdict.note = trust.problem;
    const VersionText version = trust_.ReadVersionText(program);
    verdict.company = version.company;
    verdict.description = version.description;
    if (cacheable && verdict.status != TrustStatus::Unchecked)
        used_[key] = verdict;
    return verdict;
}

void InventoryBuilder::LoadCache(const std::string& path) {
    cache_.clear();
    used_.clear();
    for (const std::string& line : CacheLines(files_.ReadFileUpTo(path, kMaxCacheLength), kCacheHeader)) {
        const std::vector<std::string> fields = SplitTabs(line);
        if (fields.size() != 6)
            continue;
        const std::optional<TrustStatus> status = StatusFromCode(fields[1]);
        if (!status || fields[0].empty())
            continue;
        Verdict verdict;
        verdict.status = *status;
        verdict.signer = fields[2];
        verdict.company = fields[3];
        verdict.description = fields[4];
        verdict.note = fields[5];
        cache_[fields[0]] = std::move(verdict);
    }
}

void InventoryBuilder::SaveCache(const std::string& path) {
    std::string text = std::string(kCacheHeader) + "\n";
    for (const auto& [key, verdict] : used_)
        text += key + "\t" + SignatureName(verdict.status) + "\t" + CacheField(verdict.signer) + "\t" +
                CacheField(verdict.company) + "\t" + CacheField(verdict.description) + "\t" + CacheField(verdict.note) +
                "\n";
    // A cache that cannot be written only makes the next run slower.
    (void)files_.WriteFileAtomic(path, text);
}

std::vector<InventoryEntry> InventoryBuilder::Build(const AppState& state) {
    verifiedCount = 0;
    cachedCount = 0;
    checked_.clear();
    writeAccess_ =
        std::make_unique<WriteAccess>(files_, system_.SystemDirectory(), ProfilesFolder(registry_, system_), onLog);
    cachedFolders_.clear();
    for (const std::string& folder :
         {system_.WindowsDirectory(), system_.ExpandEnvironment("%ProgramFiles%"),
          system_.ExpandEnvironment("%ProgramFiles(x86)%"), system_.ExpandEnvironment("%ProgramW6432%")}) {
        if (folder.size() >= 3 && folder[1] == ':' && folder.find('%') == std::string::npos)
            cachedFolders_.push_back(FoldOrdinal(folder.back() == '\\' ? folder : folder + "\\"));
    }
    const std::string cachePath = state.appFolder + "\\" + kCacheFileName;
    LoadCache(cachePath);
    const DatabaseNames database = ReadDatabaseNames(state);
    std::unordered_set<std::string> ignored;
    SignatureItem item;
    for (const std::string& line : state.lstIgnoreListFile) {
        SplitItem(line, item);
        if (item.type() == kIgnoreKind)
            ignored.insert(FoldOrdinal(item.object()));
    }

    std::vector<InventoryEntry> entries = Collect();
    NetworkPaths network(files_);
    for (size_t i = 0; i < entries.size(); ++i) {
        InventoryEntry& entry = entries[i];
        if (entry.place == place::kBrowserExtension) {
            if (database.extensionIds.count(FoldOrdinal(entry.description)))
                entry.flags |= flag::kDatabase;
            entry.description.clear();
        }
        if (!entry.program.empty()) {
            const std::string folded = FoldOrdinal(entry.program);
            JudgeHosts(entry, network);
            if (network.IsNetwork(entry.program)) {
                // Opening it would make this elevated program authenticate to whoever named it.
                entry.flags |= flag::kNetwork;
                AddNote(entry, kNetworkPathNote);
            } else if (!entry.exists) {
                entry.flags |= flag::kMissing;
            } else {
                const Verdict& verdict = CheckOnce(entry.program);
                entry.signature = verdict.status;
                entry.signer = verdict.signer;
                entry.company = verdict.company;
                entry.description = verdict.description;
                entry.notProgram = verdict.notProgram;
                AddNote(entry, verdict.note);
                if (verdict.status != TrustStatus::Signed)
                    entry.flags |= flag::kUnsigned;
                if (verdict.userWritable)
                    entry.flags |= flag::kUserWritable;
            }
            if (database.paths.count(folded) || database.fileNames.count(FoldOrdinal(FileNameOf(entry.program))))
                entry.flags |= flag::kDatabase;
        }
        if (ignored.count(FoldOrdinal(IgnoreObjectOf(entry))))
            entry.flags |= flag::kIgnored;
        if (onProgress)
            onProgress(i + 1, entries.size());
        ui_.Yield();
    }
    SaveCache(cachePath);
    return entries;
}

}  // namespace pellora::inventory
