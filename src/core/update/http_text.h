// Texts of the downloader's HTTP exchange, as pure functions: the split of an address into host
// and path for the HEAD request, the values read out of a block of raw response headers, and
// where a redirect points. They take any bytes a server may send (fuzzed) and never throw.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace pellora {

// Host and path of the HEAD request. "http://" or "https://" (any letter case) is dropped; the text
// before the first "/" is the host, the rest (with its "/") the path; a "host:port" gives the
// port (0 when none or not a number from 1 to 65535, which means the scheme's default).
struct UrlSplit {
    std::string host;
    std::string path;
    uint16_t port = 0;
    bool secure = false;  // the address began with "https://"
};
UrlSplit SplitUrl(std::string_view url);

// The text after the first occurrence of `nameColonSpace` (such as "content-length: ", found
// without regard to letter case) up to the next CR LF (or the end); nothing when absent.
std::optional<std::string> FindHeaderText(std::string_view headers, std::string_view nameColonSpace);
// The Last-Modified text, or "Not Available".
std::string LastModifiedOf(std::string_view headers);
// The Content-Length, or -1 when the header is absent or not a number of 0 to 2^31-1.
int32_t ContentLengthOf(std::string_view headers);
// False only when the headers hold exactly "HTTP/1.1 404 File Not Found".
bool FileExistsOf(std::string_view headers);
// The status code of the status line ("HTTP/1.1 200 OK" gives 200), 0 when there is none.
int StatusCodeOf(std::string_view headers);

// The scheme of an address in lower case ("http"), "" when it names none.
std::string SchemeOf(std::string_view url);
// An address without a scheme is an http:// address.
std::string WithScheme(std::string_view url);
// True for http:// and https:// addresses (scheme in any letter case) with a host.
bool IsHttpAddress(std::string_view url);
// The address a Location header value points to, seen from `base`: absolute addresses as they
// are, "//host/..." with the base's scheme, "/path" on the base's host, anything else beside
// the base's last "/". Nothing for an empty location.
std::optional<std::string> ResolveLocation(std::string_view base, std::string_view location);

}  // namespace pellora
