// Event-log port: what the program reports to the Windows event log (source "Pellora") for
// administrators who collect many machines' events. Each event is an id of the message table
// compiled into the executables (src/win32/messages.mc, whose ids these must equal) with its
// inserts; the log renders the text from the table, so only the inserts travel with the event.
// Implemented on ReportEventW (win32/event_log_win.cpp) and as a recorder in the tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace pellora {

enum class EventLevel { Information, Warning, Error };

namespace event_id {
inline constexpr uint32_t kScanFinished = 1000;             // mode, objects scanned, finds
inline constexpr uint32_t kObjectRemoved = 1001;            // kind, object
inline constexpr uint32_t kObjectNotRemoved = 1002;         // kind, object (with the reason when known)
inline constexpr uint32_t kObjectQuarantined = 1003;        // kind, object
inline constexpr uint32_t kUpdateInstalled = 1100;          // version, source, signing key
inline constexpr uint32_t kUpdateRefused = 1101;            // source, reason
inline constexpr uint32_t kProtectionOn = 1200;             // which protection
inline constexpr uint32_t kProtectionOff = 1201;            // which protection
inline constexpr uint32_t kFolderWritable = 1300;           // what others may change
inline constexpr uint32_t kDatabaseSignatureFailed = 1301;  // why the database was not loaded
inline constexpr uint32_t kDatabaseDamaged = 1302;          // why the database was not loaded
}  // namespace event_id

class EventLogPort {
  public:
    virtual ~EventLogPort() = default;
    // Writes one event; a log that cannot be written loses the event, never the operation.
    virtual void Report(uint32_t id, EventLevel level, const std::vector<std::string>& inserts) = 0;
};

// Reports through `log` when the front end has one.
inline void ReportEvent(EventLogPort* log, uint32_t id, EventLevel level, const std::vector<std::string>& inserts) {
    if (log)
        log->Report(id, level, inserts);
}

}  // namespace pellora
