// HttpWinInet: the HTTP port on WinINet's wide functions, one call per method. Handles cross
// the port as numbers; an HINTERNET is a pointer, so it fits.
//
// No transfer waits without end: connecting and each receive give up after `waitMs` (WinINet's
// time-outs, set on every root handle), and from each Open on, every read, request and address
// fails once `deadlineMs` have passed, so a server that trickles a byte a minute ends too.
#pragma once

#include <cstdint>
#include <map>

#include "core/ports/http.h"

namespace pellora::win32 {

inline constexpr uint32_t kHttpWaitMs = 60 * 1000;
inline constexpr uint64_t kHttpDeadlineMs = 30 * 60 * 1000;

class HttpWinInet : public HttpPort {
  public:
    explicit HttpWinInet(uint32_t waitMs = kHttpWaitMs, uint64_t deadlineMs = kHttpDeadlineMs)
        : waitMs_(waitMs), deadlineMs_(deadlineMs) {}

    InternetHandle Open(const std::string& userAgent, InternetAccess access, const std::string& proxy) override;
    InternetHandle Connect(InternetHandle internet,
                           const std::string& host,
                           uint16_t port,
                           bool secure,
                           const std::string& user,
                           const std::string& password) override;
    InternetHandle OpenRequest(InternetHandle connection,
                               const std::string& verb,
                               const std::string& object,
                               const std::string& version,
                               bool secure) override;
    bool SendRequest(InternetHandle request) override;
    std::optional<std::string> QueryRawHeaders(InternetHandle request, size_t bufferChars) override;
    std::optional<std::string> QueryStatusCode(InternetHandle request) override;
    InternetHandle OpenUrl(InternetHandle internet, const std::string& url) override;
    bool SetFilePointer(InternetHandle file, int32_t distance) override;
    bool ReadFile(InternetHandle file, size_t most, std::string& out) override;
    void Close(InternetHandle handle) override;

  private:
    bool PastDeadline() const;
    bool SetTimeouts(void* handle) const;

    uint32_t waitMs_;
    uint64_t deadlineMs_;
    uint64_t deadline_ = UINT64_MAX;                        // GetTickCount64 value after which nothing more is read
    std::map<InternetHandle, InternetHandle> connections_;  // request made by OpenUrl -> its connection
};

}  // namespace pellora::win32
