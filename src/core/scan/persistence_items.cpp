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

namespace pellora {

void Scanner::TestPersistenceItem(const std::string& row, const ScanPlan& plan) {
    const PersistenceKind kind = PersistenceKindOfLine(row);
    if (kind == PersistenceKind::None || plan.mode == ScanPlan::Mode::FileFolder)
        return;
    SplitItem(row, item_);
    SetCaption(kScanningItem + item_.object());
    if (kind == PersistenceKind::Task && ports_.tasks) {
        ScheduledTasks tasks(*ports_.tasks, ports_.files, ports_.system.SystemDirectory());
        if (tasks.TaskPresence(item_.object()) == Presence::Present)
            RecordPersistenceFind();
    } else if (kind == PersistenceKind::Service && ports_.services) {
        if (IsServiceName(item_.object()) && ports_.services->ProbeService(item_.object()) == Presence::Present)
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

void Scanner::RecordPersistenceFind() {
    Find find;
    find.object = item_.object();
    find.category = item_.category();
    Record(std::move(find));
}

}  // namespace pellora
