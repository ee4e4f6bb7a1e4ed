#include "core/update/http_text.h"

#include "core/util/text.h"

namespace pellora {

UrlSplit SplitUrl(std::string_view url) {
    UrlSplit split;
    // The scheme in any letter case: "HTTP://host" is the same address as "http://host".
    if (EqualsIgnoreCase(url.substr(0, 7), "http://")) {
        url.remove_prefix(7);
    } else if (EqualsIgnoreCase(url.substr(0, 8), "https://")) {
        url.remove_prefix(8);
        split.secure = true;
    }
    size_t slash = url.find('/');
    std::string_view host = url.substr(0, slash);
    if (slash != std::string_view::npos)
        split.path = std::string(url.substr(slash));
    // "host:port"; a bracketed IPv6 literal keeps its own colons.
    size_t colon = host.rfind(':');
    if (colon != std::string_view::npos && host.find(']', colon) == std::string_view::npos) {
        int64_t port = 0;
        if (ParseWholeNumber(host.substr(colon + 1), port) && port >= 1 && port <= 65535)
            split.port = static_cast<uint16_t>(port);
        host = host.substr(0, colon);
    }
    split.host = std::string(host);
    return split;
}

std::optional<std::string> FindHeaderText(std::string_view headers, std::string_view nameColonSpace) {
    size_t at = FindIgnoreCase(headers, nameColonSpace);
    if (at == std::string_view::npos)
        return std::nullopt;
    std::string_view rest = headers.substr(at + nameColonSpace.size());
    return std::string(rest.substr(0, rest.find("\r\n")));
}

std::string LastModifiedOf(std::string_view headers) {
    return FindHeaderText(headers, "last-modified: ").value_or("Not Available");
}

int32_t ContentLengthOf(std::string_view headers) {
    std::optional<std::string> text = FindHeaderText(headers, "content-length: ");
    int64_t length = 0;
    if (!text || !ParseWholeNumber(*text, length) || length > INT32_MAX)
        return -1;
    return static_cast<int32_t>(length);
}

bool FileExistsOf(std::string_view headers) {
    return headers.find("HTTP/1.1 404 File Not Found") == std::string_view::npos;
}

int StatusCodeOf(std::string_view headers) {
    std::string_view line = headers.substr(0, headers.find("\r\n"));
    if (!StartsWith(line, "HTTP/"))
        return 0;
    size_t space = line.find(' ');
    if (space == std::string_view::npos || line.size() < space + 4)
        return 0;
    std::string_view digits = line.substr(space + 1, 3);
    int code = 0;
    for (char c : digits) {
        if (c < '0' || c > '9')
            return 0;
        code = code * 10 + (c - '0');
    }
    if (line.size() > space + 4 && line[space + 4] != ' ')
        return 0;
    return code;
}

std::string SchemeOf(std::string_view url) {
    size_t colon = url.find("://");
    if (colon == std::string_view::npos || colon == 0)
        return "";
    std::string_view scheme = url.substr(0, colon);
    for (char c : scheme) {
        bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        bool other = (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
        if (!letter && !other)
            return "";
    }
    return ToLowerAscii(scheme);
}

std::string WithScheme(std::string_view url) {
    if (!SchemeOf(url).empty())
        return std::string(url);
    return "http://" + std::string(url);
}

bool IsHttpAddress(std::string_view url) {
    std::string scheme = SchemeOf(url);
    if (scheme != "http" && scheme != "https")
        return false;
    std::string_view rest = url.substr(scheme.size() + 3);
    std::string_view host = rest.substr(0, rest.find_first_of("/?#"));
    // No control character anywhere: a line break in the path would end the request line early.
    for (unsigned char c : url) {
        if (c < 0x20 || c == 0x7F)
            return false;
    }
    return !host.empty() && host.find_first_of(" \\") == std::string_view::npos;
}

std::optional<std::string> ResolveLocation(std::string_view base, std::string_view location) {
    location = std::string_view(location).substr(0, location.find_first_of("\r\n"));
    while (!location.empty() && (location.front() == ' ' || location.front() == '\t'))
        location.remove_prefix(1);
    while (!location.empty() && (location.back() == ' ' || location.back() == '\t'))
        location.remove_suffix(1);
    if (location.empty())
        return std::nullopt;
    // Any scheme, also one this program will not follow ("file:", "ftp://"), is the caller's to judge.
    if (!SchemeOf(location).empty() || location.find(':') < location.find_first_of("/?#"))
        return std::string(location);
    std::string scheme = SchemeOf(base);
    if (scheme.empty())
        return std::nullopt;
    if (location.starts_with("//"))
        return scheme + ":" + std::string(location);
    size_t hostStart = scheme.size() + 3;
    size_t pathStart = base.find('/', hostStart);
    std::string_view origin = base.substr(0, pathStart);
    if (location.starts_with("/"))
        return std::string(origin) + std::string(location);
    std::string_view path = pathStart == std::string_view::npos ? std::string_view("/") : base.substr(pathStart);
    path = path.substr(0, path.find_first_of("?#"));
    return std::string(origin) + std::string(path.substr(0, path.rfind('/') + 1)) + std::string(location);
}

}  // namespace pellora
