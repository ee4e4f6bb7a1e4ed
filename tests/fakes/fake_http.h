// In-memory fakes of the HTTP and signature ports. FakeHttp serves a table of addresses the
// way WinINet answers them (raw headers, a body read in pieces, redirects left to the caller)
// and records every call; FakeSignatures accepts exactly the signatures FakeSign makes.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "core/ports/http.h"
#include "core/ports/signature.h"

namespace pellora::fakes {

class FakeHttp : public HttpPort {
  public:
    struct Response {
        int status = 200;
        std::string reason = "OK";
        std::string body;
        // The Content-Length sent: the body's length unless set; none when `noLength`.
        std::optional<int64_t> contentLength;
        bool noLength = false;
        std::vector<std::string> extraHeaders;  // "Name: value"
        size_t readPiece = 0;                   // bytes per read at most (0: as asked)
        std::optional<size_t> failReadAt;       // a read from this offset on fails
        bool endless = false;                   // after the body, "x" without end
    };

    std::map<std::string, Response> responses;  // by full address
    // Responses to HEAD requests, by host + path; a GET's response when absent.
    std::map<std::string, Response> headResponses;

    struct OpenCall {
        std::string userAgent;
        InternetAccess access;
        std::string proxy;
    };
    struct ConnectCall {
        std::string host;
        uint16_t port;
        bool secure;
        std::string user;
        std::string password;
    };
    std::vector<OpenCall> opens;
    std::vector<ConnectCall> connects;
    std::vector<std::string> requests;  // "HEAD host/path HTTP/1.0"
    std::vector<std::string> openedUrls;
    std::vector<int32_t> filePointerMoves;
    std::function<void(size_t offset)> onRead;  // before each read of a body
    bool failOpen = false;
    bool failSetFilePointer = false;

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

    // Handles given out and not yet closed.
    size_t OpenHandles() const { return handles_.size(); }
    static std::string RawHeaders(const Response& response);

  private:
    struct Handle {
        enum Kind { Internet, Connection, Request, File };
        explicit Handle(Kind k) : kind(k) {}
        Kind kind;
        std::string host;
        bool secure = false;
        std::optional<Response> response;
        size_t offset = 0;
        bool sent = false;
    };
    InternetHandle Add(Handle handle);
    Handle* Get(InternetHandle handle);
    std::map<InternetHandle, Handle> handles_;
    InternetHandle next_ = 0x100;
};

// The fake's "signature": 64 bytes derived from the key and the data.
std::string FakeSign(std::string_view publicKey, std::string_view data);

class FakeSignatures : public SignaturePort {
  public:
    bool VerifyP256(std::string_view publicKey, std::string_view data, std::string_view signature) override {
        ++verifications;
        return signature.size() == 64 && signature == FakeSign(publicKey, data);
    }
    std::optional<std::string> SignP256(std::string_view privateKey, std::string_view data) override {
        if (privateKey.size() != 96)
            return std::nullopt;
        return FakeSign(privateKey.substr(0, 64), data);
    }
    int verifications = 0;
};

// A PEM "PUBLIC KEY" (P-256 SubjectPublicKeyInfo) of the 64 bytes X || Y.
std::string PublicKeyPem(std::string_view xy);

// A locked database of exactly `length` bytes (at least 200) whose version line is `version`,
// followed by "@serial N" and ending in the trailer line when a serial is given.
std::string LockedDatabase(size_t length, const std::string& version, std::optional<uint64_t> serial = std::nullopt);

}  // namespace pellora::fakes
