// Scanner's content phase (content_scan.h): the files to read, each read once and matched
// against the content rules, the cache of verdicts, and a "Content" row per file a rule matched.
#include <cstdio>
#include <set>
#include <span>
#include <tuple>
#include <unordered_map>
#include <unordered_set>

#include "core/protection/write_access.h"
#include "core/rules/rules.h"
#include "core/scan/content_scan.h"
#include "core/scan/scanner.h"
#include "core/util/case_fold.h"
#include "core/util/text.h"

namespace pellora {

namespace {

// The bytes read, as the progress shows them.
std::string MegabytesText(int64_t bytes) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", static_cast<double>(bytes) / (1024.0 * 1024.0));
    return text;
}

bool SameFile(const FileIdentity& a, const FileIdentity& b) {
    return a.volumeSerial == b.volumeSerial && a.fileIdHigh == b.fileIdHigh && a.fileIdLow == b.fileIdLow;
}

}  // namespace

std::string ContentProgressText(const ScanCounters& counters) {
    return std::to_string(counters.contentFiles) + " files, " + MegabytesText(counters.contentBytes) + " MB";
}

void Scanner::ScanContents(bool places, bool listing) {
    const std::shared_ptr<const rules::RuleSet> rules = state_.contentRules.set;
    // A database without content rules (an older one) scans no file's contents.
    if (!rules || rules->Rules().empty())
        return;
    SetCaption(kContentListingCaption, true);
    struct Candidate {
        std::string path;
        bool onlyProgramsAndScripts = false;
    };
    std::vector<Candidate> candidates;
    std::unordered_set<std::string> named;  // folded paths of the candidates from the places
    auto add = [&](const std::string& path, bool onlyProgramsAndScripts) {
        if (!path.empty() && named.insert(FoldOrdinal(path)).second)
            candidates.push_back(Candidate{path, onlyProgramsAndScripts});
    };
    const Profiles profiles = ReadProfiles(ports_.registry, ports_.system);
    WriteAccess writeAccess(ports_.files, ports_.system.SystemDirectory(), ProfilesFolder(ports_.registry, ports_.system));
    if (places) {
        for (size_t i = 0; i < state_.lstProcesses.size(); ++i)
            add(state_.lstProcesses[i].imagePath, false);
        autostart::AutostartEnumerator enumerator(ports_.registry, ports_.files, ports_.system);
        for (const autostart::AutostartEntry& entry : enumerator.Enumerate()) {
            if (entry.exists)
                add(entry.program, false);
            for (const std::string& script : ScriptsRunBy(entry, ports_.system))
                add(script, false);
        }
        for (const DropPlace& place : DropPlaces(profiles, ports_.registry, ports_.system)) {
            finder_.VisitFiles(place.folder, place.depth,
                               [&](const std::string& base, const FindEntry& entry) { add(base + entry.name, true); });
            if (!state_.busy)
                return;
        }
    }
    // The hard-disk listing's rows are each listed once: no need to remember their names.
    const size_t listed = listing ? state_.lstHDDItems.Count() : 0;

    const uint64_t limit = ContentSizeLimit(state_);
    const std::string digest = rules->Digest();
    const std::string cachePath = state_.appFolder + "\\" + kContentCacheFileName;
    ContentCache cache;
    cache.Load(ports_.files, cachePath);
    std::set<std::tuple<uint32_t, uint64_t, uint64_t>> read;
    ScanCounters& counters = state_.counters;
    const size_t total = candidates.size() + listed;
    for (size_t i = 0; i < total && state_.busy; ++i) {
        // Copied, and the listing's size read again: the events inside the yields may change it.
        if (i >= candidates.size() && i - candidates.size() >= state_.lstHDDItems.Count())
            break;
        const Candidate candidate = i < candidates.size()
                                        ? candidates[i]
                                        : Candidate{std::string(state_.lstHDDItems[i - candidates.size()]), true};
        std::unique_ptr<FileSystemPort::ContentReader> reader = ports_.files.OpenContent(candidate.path);
        if (!reader) {
            ui_.Yield();
            continue;
        }
        const FileSystemPort::OpenedFileInfo info = reader->Info();
        if (!read.emplace(info.identity.volumeSerial, info.identity.fileIdHigh, info.identity.fileIdLow).second)
            continue;
        std::string bytes;
        if (candidate.onlyProgramsAndScripts && !HasScriptExtension(candidate.path)) {
            if (info.size < 2 || !reader->ReadMore(bytes, 2) || bytes != "MZ") {
                ui_.Yield();
                continue;
            }
        }
        if (info.size > limit) {
            ++counters.contentTooLarge;
            continue;
        }
        SetCaption(std::string(kContentCaption) + " (" + ContentProgressText(counters) + "): " + candidate.path);
        // Whoever may change a file may also put its write time back: only the verdict of a file
        // no standard user may change (WriteAccess) is kept.
        const bool keep = info.lastWriteTime != 0 && !BelowProfile(profiles, candidate.path) &&
                          !BelowProfile(profiles, info.identity.finalPath) && writeAccess.NoUserMayChange(candidate.path);
        const ContentCache::Key key{info.identity, info.size, info.lastWriteTime};
        std::vector<std::string> names;
        std::optional<std::vector<std::string>> known = keep ? cache.Find(key, digest) : std::nullopt;
        if (known) {
            names = std::move(*known);
            ++counters.contentCached;
        } else {
            if (!reader->ReadMore(bytes, info.size - bytes.size())) {
                ui_.Yield();
                continue;
            }
            const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
            for (size_t index : rules->Scan(std::span<const uint8_t>(data, bytes.size())))
                names.push_back(rules->Rules()[index].name);
            counters.contentBytes += static_cast<int64_t>(bytes.size());
            if (keep)
                cache.Put(key, digest, names);
        }
        ++counters.contentFiles;
        reader.reset();
        if (!names.empty())
            RecordContentFind(candidate.path, info.identity, names, *rules);
        ShowProgress(false);
        ui_.Yield();
    }
    cache.Save(ports_.files, cachePath);
    std::string line = "File contents scanned: " + ContentProgressText(counters);
    if (counters.contentCached > 0)
        line += ", " + std::to_string(counters.contentCached) + " known from an earlier scan";
    if (counters.contentTooLarge > 0)
        line += ", " + std::to_string(counters.contentTooLarge) + " over " + std::to_string(limit / (1024 * 1024)) +
                " MiB left out";
    state_.lstLog.push_back(line);
    ShowProgress(true);
}

void Scanner::RecordContentFind(const std::string& path,
                                const FileIdentity& identity,
                                const std::vector<std::string>& names,
                                const rules::RuleSet& rules) {
    std::string family = names.front();
    for (const rules::RuleInfo& rule : rules.Rules()) {
        if (rule.name == names.front()) {
            family = rule.family.empty() ? rule.name : rule.family;
            break;
        }
    }
    std::string joined;
    for (const std::string& name : names)
        joined += (joined.empty() ? "" : ", ") + name;
    item_.fields = {kContentRowType, path, family, ""};
    Find find;
    find.object = path;
    find.category = family;
    find.image = kImageFile;
    find.typeCounter = &ScanCounters::filesIdentified;
    find.type = kContentRowType;
    find.contentRules = joined;
    find.foundAs = identity;
    const size_t before = state_.lstScanResult.size();
    Record(std::move(find));
    if (state_.lstScanResult.size() == before)
        return;  // ignored
    for (const ProcessRow& process : state_.lstProcesses) {
        if (!process.imagePath.empty() && EqualsOrdinalIgnoreCase(process.imagePath, path)) {
            ++state_.counters.processesIdentified;
            break;
        }
    }
    // A file signed by a publisher this machine trusts is shown but never removed unattended: a
    // rule's false positive must not take a vendor's program away. The verdict counts only
    // while the name still leads to the file that was read.
    if (!ports_.trust)
        return;
    const FileTrust trust = ports_.trust->VerifyFile(path);
    const std::optional<FileIdentity> now = ports_.files.Identify(path);
    if (trust.status == TrustStatus::Signed && now && SameFile(*now, identity)) {
        state_.manualOnlyRows[std::string(kContentRowType) + '\t' + path] =
            "signed by " + (trust.signer.empty() ? std::string("a trusted publisher") : trust.signer) +
            ": a content rule may be wrong about it";
    }
}

}  // namespace pellora
