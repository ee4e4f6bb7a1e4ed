#include "core/removal/browser_removal.h"

#include "core/browsers/browser_rows.h"
#include "core/removal/object_presence.h"
#include "core/removal/process_ender.h"
#include "core/removal/removal_run.h"
#include "core/util/text.h"

namespace pellora {

std::vector<uint32_t> BrowserCloser::Running(const browsers::BrowserInfo& browser) {
    std::vector<uint32_t> pids;
    for (const ProcessEntry& entry : processes_.Snapshot()) {
        if (EqualsIgnoreCase(entry.exeName, browser.imageName))
            pids.push_back(entry.pid);
    }
    return pids;
}

std::optional<std::string> BrowserCloser::EnsureClosed(const browsers::BrowserInfo& browser, bool unattended) {
    if (auto known = open_.find(browser.name); known != open_.end()) {
        if (Running(browser).empty())
            open_.erase(known);
        else
            return known->second;
    }
    std::vector<uint32_t> pids = Running(browser);
    if (pids.empty())
        return std::nullopt;
    const std::string running = browser.name + " is running (" + browser.imageName + ")";
    if (unattended)
        return open_[browser.name] = running + "; its files are changed only while it is closed";
    const MsgAnswer answer = ui_.Message(browser.name +
                                             " is running. Pellora changes its files only while it is closed.\r\n\r\n"
                                             "Ask " +
                                             browser.name + " to close now? (Save your work in it first.)",
                                         kCloseBrowserTitle, MsgButtons::YesNo, MsgIcon::Question);
    if (answer != MsgAnswer::Yes)
        return open_[browser.name] = running + "; it was not closed";
    // Asked, never ended: a browser may hold unsaved work, and one ended mid-write damages the
    // very files this run edits.
    for (uint32_t pid : pids)
        processes_.PostToProcessWindows(pid, kWmClose, 0);
    const uint64_t start = clock_.MonotonicMs();
    while (!(pids = Running(browser)).empty()) {
        if (clock_.MonotonicMs() - start >= kBrowserCloseWaitMs)
            return open_[browser.name] = running + "; it did not close when asked";
        ui_.Yield();
    }
    return std::nullopt;
}

void RemovalRun::RemoveBrowserRow(const ResultRow& row) {
    using browsers::Place;
    const std::string what =
        EqualsIgnoreCase(row.type, browsers::kHijackType) ? "Browser setting" : "Browser extension";
    auto notRemoved = [&](const std::string& reason) {
        Log(what + " not removed=" + row.object + " (" + reason + ")");
    };
    const std::optional<browsers::RowPlace> place = browsers::DecodeRowPlace(row.browserPlace);
    const browsers::BrowserInfo* browser = place ? browsers::FindBrowser(place->browser) : nullptr;
    if (!place || !browser) {
        notRemoved("the row does not say where it was found");
        return;
    }
    const Place& where = place->where;
    const bool inFiles = where.kind != Place::Kind::RegistryKey && where.kind != Place::Kind::RegistryValue;
    if (inFiles) {
        if (auto reason = closer_.EnsureClosed(*browser, ports_.ui.Unattended() || state_.automaticScan)) {
            notRemoved(*reason);
            return;
        }
    }
    if (auto reason = browsers::PlaceChange(*place, row, ports_.files, guard_.identity())) {
        notRemoved(*reason);
        return;
    }
    const std::string keyPath = browsers::RegistryPath(where);
    const std::string valueObject = keyPath + "," + where.valueName;
    std::optional<ResolvedObject> checked;
    std::optional<std::string> refusal;
    switch (where.kind) {
        case Place::Kind::Folder:
            refusal = guard_.FolderRefusal(where.path);
            break;
        case Place::Kind::RegistryKey:
            refusal = guard_.KeyRefusal(keyPath);
            break;
        case Place::Kind::RegistryValue:
            refusal = guard_.ValueRefusal(valueObject);
            break;
        default:
            refusal = guard_.FileRefusal(where.path, &checked);
            break;
    }
    if (refusal) {
        Log("Protected object skipped=" + row.object + " (" + *refusal + ")");
        return;
    }
    if (browsers::PlacePresence(*place, ports_.files, ports_.registry) == Presence::Absent) {
        Log(what + " not found=" + row.object);
        return;
    }

    // Files, folders, keys and values are stored and removed as rows of their own kind are; a
    // member of a profile file is stored as the edit that takes it out, then the file is written.
    if (where.kind == Place::Kind::JsonMember || where.kind == Place::Kind::Pref ||
        (where.kind == Place::Kind::RegistryValue && !where.member.empty())) {
        bool written = false;
        if (where.kind == Place::Kind::RegistryValue) {
            // The whole value is stored: restore puts back the text it held.
            if (!services_.quarantine.QuarantineResultRow(row)) {
                notRemoved("could not be quarantined");
                return;
            }
            std::optional<RegValue> value = ports_.registry.QueryValue(where.root, where.key, where.valueName);
            bool gone = false;
            std::optional<std::string> text =
                value && (value->type == kRegSz || value->type == kRegExpandSz)
                    ? browsers::PlanValueEdit(*place, value->data.substr(0, value->data.find('\0')), gone)
                    : std::nullopt;
            written =
                text && ports_.registry.SetValue(where.root, where.key, where.valueName, RegValue{value->type, *text});
        } else {
            std::optional<std::string> bytes = ports_.files.ReadFileUpTo(where.path, browsers::kMaxProfileFileLength);
            bool gone = false;
            std::string problem;
            std::optional<browsers::PlannedEdit> edit =
                bytes ? browsers::PlanEdit(*place, *bytes, gone, problem) : std::nullopt;
            if (!edit) {
                notRemoved(problem.empty() ? "the file cannot be read" : problem);
                return;
            }
            // What is stored is exactly what the edit takes out, and the file is written only
            // while it still holds the bytes the edit was planned from.
            if (!services_.quarantine.QuarantineBrowserEdit(row, *edit)) {
                notRemoved("could not be quarantined");
                return;
            }
            written = ports_.files.ReadFileUpTo(where.path, browsers::kMaxProfileFileLength) == edit->before &&
                      ports_.files.WriteFileAtomic(where.path, edit->after);
        }
        if (!written || browsers::PlacePresence(*place, ports_.files, ports_.registry) != Presence::Absent) {
            notRemoved("the file or value could not be written");
            return;
        }
        AddToRemoved(1);
        Log(what + " removed=" + row.object);
        return;
    }

    ResultRow stored;
    stored.checked = true;
    stored.foundAs = row.foundAs;
    stored.foundKey = row.foundKey;
    switch (where.kind) {
        case Place::Kind::Folder:
            stored.type = "folder";
            stored.object = where.path;
            break;
        case Place::Kind::File:
            stored.type = "path";
            stored.object = where.path;
            break;
        case Place::Kind::RegistryKey:
            stored.type = "RegKey";
            stored.object = keyPath;
            break;
        default:
            stored.type = "RegVal";
            stored.object = valueObject;
            break;
    }
    if (!services_.quarantine.QuarantineResultRow(stored)) {
        notRemoved("could not be quarantined");
        return;
    }
    Log(what + "=" + row.object);
    switch (where.kind) {
        case Place::Kind::Folder:
            RemoveFolder(stored);
            break;
        case Place::Kind::File:
            DeleteOneFile(where.path, where.path, "File", false, checked ? checked->Identity() : row.foundAs);
            break;
        case Place::Kind::RegistryKey:
            RemoveKey(keyPath);
            break;
        default:
            RemoveValue(valueObject);
            break;
    }
}

}  // namespace pellora
