// The test of the persistence kinds (persistence_kinds.h): a "task" item is found when the
// scheduler has the task (or, where it cannot say, its definition file is there), a "service"
// item when the service manager knows the service, a "hosts" item when a line of the hosts file
// (read once per walk) maps the name, a "shortcut" item for each link that holds its text
// (shortcut_scan.cpp). They are tested
// by the smart and custom scans, not by the file/folder scan, and only with the port they need.
#include "core/autostart/autostart.h"
#include "core/autostart/hosts_file.h"
#include "core/autostart/scheduled_task.h"
#include "core/database/persistence_kinds.h"
#include "core/scan/scanner.h"
#include "core/util/case_fold.h"

namespace pellora {

void Scanner::TestPersistenceItem(const std::string& row, const ScanPlan& plan) {
    const PersistenceKind kind = PersistenceKindOfLine(row);
    if (kind == PersistenceKind::None || plan.mode == ScanPlan::Mode::FileFolder)
        return;
    SplitItem(row, item_);
    SetCaption(kScanningItem + item_.object());
    if ((kind == PersistenceKind::Task && ports_.tasks) || (kind == PersistenceKind::Service && ports_.services)) {
        if (PresenceOfItem(kind) == Presence::Present)
            RecordPersistenceFind();
    } else if (kind == PersistenceKind::Hosts) {
        if (!hostsRead_) {
            hostsRead_ = true;
            hostsText_ =
                ports_.files.ReadFileUpTo(HostsFilePath(ports_.registry, ports_.system), autostart::kMaxHostsLength);
        }
        if (hostsText_ && !LinesMapping(*hostsText_, item_.object()).empty())
            RecordPersistenceFind();
    } else if (kind == PersistenceKind::Shortcut) {
        TestShortcutItem();
    }
}

Presence Scanner::PresenceOfItem(PersistenceKind kind) {
    // At the first item of its kind, every item of that kind in the database is asked about at
    // once: the scheduler and the service manager answer many over one connection.
    auto& known = kind == PersistenceKind::Task ? taskPresence_ : servicePresence_;
    if (!known) {
        std::vector<std::string> objects;
        SignatureItem item;
        for (size_t i = 1; i < state_.lstDBaseFile.size(); ++i) {
            if (PersistenceKindOfLine(state_.lstDBaseFile[i]) != kind)
                continue;
            SplitItem(state_.lstDBaseFile[i], item);
            objects.push_back(item.object());
        }
        std::vector<Presence> answers;
        if (kind == PersistenceKind::Task) {
            answers = ScheduledTasks(*ports_.tasks, ports_.files, ports_.system.SystemDirectory()).Presences(objects);
        } else {
            std::vector<std::string> names;
            for (const std::string& object : objects)
                names.push_back(IsServiceName(object) ? object : std::string());
            answers = ports_.services->ProbeServices(names);
            for (size_t i = 0; i < objects.size(); ++i)
                answers[i] = names[i].empty() ? Presence::Absent : answers[i];
        }
        known.emplace();
        for (size_t i = 0; i < objects.size() && i < answers.size(); ++i)
            known->emplace(FoldOrdinal(objects[i]), answers[i]);
    }
    auto answer = known->find(FoldOrdinal(item_.object()));
    return answer == known->end() ? Presence::Unknown : answer->second;
}

void Scanner::RecordPersistenceFind() {
    Find find;
    find.object = item_.object();
    find.category = item_.category();
    Record(std::move(find));
}

}  // namespace pellora
