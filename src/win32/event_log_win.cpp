#include "win32/event_log_win.h"

#include <windows.h>

#include "win32/encoding_win.h"

namespace pellora::win32 {

namespace {

constexpr size_t kInsertLimit = 31839;

}  // namespace

void EventLogWin::Report(uint32_t id, EventLevel level, const std::vector<std::string>& inserts) {
    // Opened per event: events are few, and a handle kept open would outlive a source the
    // uninstaller removes.
    HANDLE source = RegisterEventSourceW(nullptr, L"Pellora");
    if (!source)
        return;
    std::vector<std::wstring> wide;
    wide.reserve(inserts.size());
    for (const std::string& insert : inserts) {
        wide.push_back(Widen(insert));
        // ReportEventW refuses the whole event when one string is longer than this.
        if (wide.back().size() > kInsertLimit)
            wide.back().resize(kInsertLimit);
    }
    std::vector<LPCWSTR> strings;
    for (const std::wstring& text : wide)
        strings.push_back(text.c_str());
    const WORD type = level == EventLevel::Error     ? EVENTLOG_ERROR_TYPE
                      : level == EventLevel::Warning ? EVENTLOG_WARNING_TYPE
                                                     : EVENTLOG_INFORMATION_TYPE;
    (void)ReportEventW(source, type, 0, id, nullptr, static_cast<WORD>(strings.size()), 0,
                       strings.empty() ? nullptr : strings.data(), nullptr);
    DeregisterEventSource(source);
}

}  // namespace pellora::win32
