// The event-log port on ReportEventW: events of the source "Pellora", whose texts the message
// table of the executable (messages.mc) holds. The installer registers the source.
#pragma once

#include "core/ports/event_log.h"

namespace pellora::win32 {

class EventLogWin : public EventLogPort {
  public:
    void Report(uint32_t id, EventLevel level, const std::vector<std::string>& inserts) override;
};

}  // namespace pellora::win32
