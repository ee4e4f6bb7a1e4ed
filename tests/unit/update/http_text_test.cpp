// The downloader's texts: address split, header values, status lines and redirect targets.
#include <gtest/gtest.h>

#include "core/update/http_text.h"

namespace pellora {
namespace {

TEST(HttpText, SplitsAddressesIntoHostPortAndPath) {
    struct Case {
        const char* url;
        const char* host;
        const char* path;
        uint16_t port;
        bool secure;
    } cases[] = {
        {"http://example.com/members/DataBase.ref", "example.com", "/members/DataBase.ref", 0, false},
        {"example.com/members/DataBase.ref", "example.com", "/members/DataBase.ref", 0, false},
        {"example.com", "example.com", "", 0, false},
        {"https://example.com/a", "example.com", "/a", 0, true},
        {"http://127.0.0.1:8123/x/y", "127.0.0.1", "/x/y", 8123, false},
        {"http://host:99999/x", "host", "/x", 0, false},
        {"http://[::1]/x", "[::1]", "/x", 0, false},
        {"HTTP://example.com/a", "example.com", "/a", 0, false},
        {"", "", "", 0, false},
    };
    for (const Case& c : cases) {
        UrlSplit split = SplitUrl(c.url);
        EXPECT_EQ(split.host, c.host) << c.url;
        EXPECT_EQ(split.path, c.path) << c.url;
        EXPECT_EQ(split.port, c.port) << c.url;
        EXPECT_EQ(split.secure, c.secure) << c.url;
    }
}

TEST(HttpText, ReadsHeaderValuesInAnyLetterCase) {
    const std::string upper = "HTTP/1.1 200 OK\r\nContent-Length: 4096\r\nLast-Modified: Mon, 07 Dec 2026\r\n\r\n";
    const std::string lower = "HTTP/1.1 200 OK\r\ncontent-length: 12\r\nlast-modified: yesterday\r\n\r\n";
    EXPECT_EQ(ContentLengthOf(upper), 4096);
    EXPECT_EQ(LastModifiedOf(upper), "Mon, 07 Dec 2026");
    EXPECT_EQ(ContentLengthOf(lower), 12);
    EXPECT_EQ(LastModifiedOf(lower), "yesterday");

    const std::string bare = "HTTP/1.1 200 OK\r\nServer: x\r\n\r\n";
    EXPECT_EQ(ContentLengthOf(bare), -1);
    EXPECT_EQ(LastModifiedOf(bare), "Not Available");
    for (const char* bad : {"Content-Length: abc\r\n", "Content-Length: -5\r\n", "Content-Length: 99999999999\r\n",
                            "Content-Length: \r\n"})
        EXPECT_EQ(ContentLengthOf(bad), -1) << bad;
    EXPECT_EQ(ContentLengthOf("Content-Length: 7"), 7);  // no line end: up to the end

    EXPECT_FALSE(FileExistsOf("HTTP/1.1 404 File Not Found\r\n\r\n"));
    EXPECT_TRUE(FileExistsOf("HTTP/1.1 404 Not Found\r\n\r\n"));  // only that exact text counts
    EXPECT_TRUE(FileExistsOf("HTTP/1.1 200 OK\r\n\r\n"));
}

TEST(HttpText, ReadsStatusCodes) {
    struct Case {
        const char* headers;
        int status;
    } cases[] = {
        {"HTTP/1.1 200 OK\r\n", 200},
        {"HTTP/1.0 404 Not Found\r\n", 404},
        {"HTTP/1.1 302\r\n", 302},
        {"HTTP/1.1 20x OK\r\n", 0},
        {"HTTP/1.1 2000 OK\r\n", 0},
        {"garbage", 0},
        {"", 0},
        {"HTTP/1.1", 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(StatusCodeOf(c.headers), c.status) << c.headers;
}

TEST(HttpText, ResolvesRedirectTargets) {
    const std::string base = "http://a.example/members/DataBase.ref";
    struct Case {
        const char* location;
        const char* resolved;
    } cases[] = {
        {"https://b.example/x", "https://b.example/x"},
        {"//c.example/y", "http://c.example/y"},
        {"/other/DataBase.ref", "http://a.example/other/DataBase.ref"},
        {"new.ref", "http://a.example/members/new.ref"},
        {"file:///C:/Windows/win.ini", "file:///C:/Windows/win.ini"},
        {"ftp://d.example/db", "ftp://d.example/db"},
        {" /spaced ", "http://a.example/spaced"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ResolveLocation(base, c.location).value_or("(none)"), c.resolved) << c.location;
    EXPECT_FALSE(ResolveLocation(base, "").has_value());
    EXPECT_EQ(ResolveLocation("http://a.example", "x").value_or(""), "http://a.example/x");
}

TEST(HttpText, KnowsWhichAddressesAreHttp) {
    EXPECT_TRUE(IsHttpAddress("http://a.example/x"));
    EXPECT_TRUE(IsHttpAddress("HTTPS://a.example"));
    for (const char* url : {"file:///C:/x", "ftp://a.example/x", "http://", "a.example/x", "http:///x", "javascript:x"})
        EXPECT_FALSE(IsHttpAddress(url)) << url;
    // A line break or other control character anywhere would end the request line early.
    for (const char* url : {"http://a.example/x\r\nX-Injected: 1", "http://a.example/x\ny", "https://a.example/\x01"})
        EXPECT_FALSE(IsHttpAddress(url)) << url;
    EXPECT_EQ(WithScheme("a.example/x"), "http://a.example/x");
    EXPECT_EQ(WithScheme("https://a.example/x"), "https://a.example/x");
}

}  // namespace
}  // namespace pellora
