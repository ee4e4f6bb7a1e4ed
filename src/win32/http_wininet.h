// HttpWinInet: the HTTP port on WinINet's wide functions, one call per method. Handles cross
// the port as numbers; an HINTERNET is a pointer, so it fits.
#pragma once

#include "core/ports/http.h"

namespace pellora::win32 {

class HttpWinInet : public HttpPort {
  public:
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
};

}  // namespace pellora::win32
