// HTTP port: the few WinINet calls of the downloader, one method per call, with handles as
// opaque numbers (0: no handle). Implemented on WinINet (win32/http_wininet.cpp) and in memory
// for the tests. Every handle a method returns must be given back to Close.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace pellora {

using InternetHandle = uint64_t;

// How the root handle reaches the network (the access types of InternetOpen).
enum class InternetAccess { Preconfig = 0, Direct = 1, Proxy = 3 };

class HttpPort {
  public:
    virtual ~HttpPort() = default;

    // InternetOpen with the user agent, the access type and, for Proxy, the proxy text.
    virtual InternetHandle Open(const std::string& userAgent, InternetAccess access, const std::string& proxy) = 0;
    // InternetConnect for HTTP to `host`; port 0 is the scheme's default. `user` and
    // `password` are handed over only when `user` is not empty.
    virtual InternetHandle Connect(InternetHandle internet,
                                   const std::string& host,
                                   uint16_t port,
                                   bool secure,
                                   const std::string& user,
                                   const std::string& password) = 0;
    // HttpOpenRequest with no referrer and no accept types, always fetched anew (not from the cache).
    virtual InternetHandle OpenRequest(InternetHandle connection,
                                       const std::string& verb,
                                       const std::string& object,
                                       const std::string& version,
                                       bool secure) = 0;
    virtual bool SendRequest(InternetHandle request) = 0;
    // All response headers (CR LF separated), as long as they fit `bufferChars` characters
    // with their terminating NUL; nothing otherwise.
    virtual std::optional<std::string> QueryRawHeaders(InternetHandle request, size_t bufferChars) = 0;
    // The status code as text.
    virtual std::optional<std::string> QueryStatusCode(InternetHandle request) = 0;
    // InternetOpenUrl on an http:// or https:// address. Redirects are not followed (the caller
    // decides where it may be sent) and nothing is taken from or written to the cache.
    virtual InternetHandle OpenUrl(InternetHandle internet, const std::string& url) = 0;
    // Moves the read position by `distance` bytes from the current one.
    virtual bool SetFilePointer(InternetHandle file, int32_t distance) = 0;
    // Reads at most `most` bytes into `out` (replacing it); an empty `out` with true is the end.
    virtual bool ReadFile(InternetHandle file, size_t most, std::string& out) = 0;
    virtual void Close(InternetHandle handle) = 0;
};

}  // namespace pellora
