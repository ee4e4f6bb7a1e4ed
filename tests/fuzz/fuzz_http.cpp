// The HTTP texts a server controls: headers and redirect targets. The first line of the input is
// an address, the rest a block of headers and, from it, a Location value. Nothing throws or reads
// out of bounds; figures stay in their ranges; a redirect from an address the downloader takes
// holds no line break; a redirect to a path ("/x", "x") never leaves the
// host it came from, and an absolute address is taken as it stands for the caller to judge.
#include <cstdint>
#include <string>

#include "core/update/http_text.h"
#include "fuzz/fuzz_check.h"

using namespace pellora;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const size_t lineEnd = input.find('\n');
    const std::string address = input.substr(0, lineEnd);
    const std::string headers = lineEnd == std::string::npos ? std::string() : input.substr(lineEnd + 1);

    const int32_t length = ContentLengthOf(headers);
    FUZZ_CHECK(length >= -1);
    const int status = StatusCodeOf(headers);
    FUZZ_CHECK(status >= 0 && status <= 999);
    (void)LastModifiedOf(headers);
    (void)FileExistsOf(headers);
    if (std::optional<std::string> text = FindHeaderText(headers, "location: "))
        FUZZ_CHECK(text->find("\r\n") == std::string::npos);

    const UrlSplit split = SplitUrl(address);
    FUZZ_CHECK(split.path.empty() || split.path[0] == '/');
    const std::string withScheme = WithScheme(address);
    FUZZ_CHECK(!SchemeOf(withScheme).empty());
    if (IsHttpAddress(address))
        FUZZ_CHECK(SchemeOf(address) == "http" || SchemeOf(address) == "https");

    const std::string location = FindHeaderText(headers, "location: ").value_or(headers);
    if (std::optional<std::string> next = ResolveLocation(address, location)) {
        FUZZ_CHECK(!next->empty());
        if (IsHttpAddress(address))
            FUZZ_CHECK(next->find_first_of("\r\n") == std::string::npos);
        // As ResolveLocation reads it: up to the line end, without the blanks around it.
        std::string trimmed = location.substr(0, location.find_first_of("\r\n"));
        trimmed.erase(0, trimmed.find_first_not_of(" \t"));
        const bool relative = trimmed.find(':') >= trimmed.find_first_of("/?#");
        if (IsHttpAddress(address) && relative) {
            // Relative: the scheme stays, and a path (not "//host") keeps the host and port.
            FUZZ_CHECK(SchemeOf(*next) == SchemeOf(address));
            if (!trimmed.starts_with("//")) {
                const UrlSplit from = SplitUrl(address);
                const UrlSplit to = SplitUrl(*next);
                FUZZ_CHECK(to.host == from.host && to.port == from.port && to.secure == from.secure);
            }
        }
    }
    return 0;
}
