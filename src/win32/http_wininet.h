// HttpWinInet: the HTTP port on WinINet's wide functions, one call per method. Handles cross
// the port as numbers; an HINTERNET is a pointer, so it fits.
//
// No transfer waits without end: connecting and each receive give up after `waitMs` (WinINet's
// time-outs, set on every root handle), and from each Open on, every read, request and address
// fails once `deadlineMs` have passed, so a server that trickles a byte a minute ends too.
//
// WinINet's own time-outs are not trusted to hold (Wine leaves some handles without them, and a
// platform may retry): every call that waits for the network (sending a request, waiting for
// data, reading) runs on a worker thread while the caller waits for it, at most `waitMs` and never
// past the deadline. A call that does not end in time is given up: its handle is closed, which
// ends the call as soon as the platform lets it, the caller gets a failure at once, and every
// later call fails until the next Open (a server that did not answer once is not waited for
// again). Interrupt, from any thread (the console's Ctrl+C), ends the waiting call the same way
// at once and fails every call after it.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>

#include "core/ports/http.h"

namespace pellora::win32 {

inline constexpr uint32_t kHttpWaitMs = 60 * 1000;
inline constexpr uint64_t kHttpDeadlineMs = 30 * 60 * 1000;

class HttpWinInet : public HttpPort {
  public:
    explicit HttpWinInet(uint32_t waitMs = kHttpWaitMs, uint64_t deadlineMs = kHttpDeadlineMs);
    ~HttpWinInet() override;
    HttpWinInet(const HttpWinInet&) = delete;
    HttpWinInet& operator=(const HttpWinInet&) = delete;

    // Ends the call under way and fails every later one. Safe from any thread.
    void Interrupt();

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
    // False at once after an interruption or a call given up; otherwise runs `call` on a worker
    // and waits for it as the header says, closing `handle` when it is given up.
    bool Guarded(InternetHandle handle, std::function<bool()> call);
    bool GivenUp(InternetHandle handle);

    uint32_t waitMs_;
    uint64_t deadlineMs_;
    uint64_t deadline_ = UINT64_MAX;                        // GetTickCount64 value after which nothing more is read
    std::map<InternetHandle, InternetHandle> connections_;  // request made by OpenUrl -> its connection
    struct Worker;
    std::shared_ptr<Worker> worker_;   // started at the first waiting call
    void* interrupt_ = nullptr;        // manual-reset event, set by Interrupt
    bool stopped_ = false;             // a call was given up: none more until Open
    std::set<InternetHandle> closed_;  // handles closed when their call was given up
};

}  // namespace pellora::win32
