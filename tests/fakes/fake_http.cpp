#include "fakes/fake_http.h"

#include "core/database/database_format.h"
#include "core/database/unlock.h"
#include "core/settings/settings_files.h"
#include "core/database/key_format.h"

namespace pellora::fakes {

std::string FakeHttp::RawHeaders(const Response& response) {
    std::string headers = "HTTP/1.1 " + std::to_string(response.status) + " " + response.reason + "\r\n";
    headers += "Server: FakeHttp\r\n";
    if (!response.noLength)
        headers += "Content-Length: " +
                   std::to_string(response.contentLength.value_or(static_cast<int64_t>(response.body.size()))) + "\r\n";
    for (const std::string& line : response.extraHeaders)
        headers += line + "\r\n";
    return headers + "\r\n";
}

InternetHandle FakeHttp::Add(Handle handle) {
    InternetHandle id = next_++;
    handles_.emplace(id, std::move(handle));
    return id;
}

FakeHttp::Handle* FakeHttp::Get(InternetHandle handle) {
    auto it = handles_.find(handle);
    return it == handles_.end() ? nullptr : &it->second;
}

InternetHandle FakeHttp::Open(const std::string& userAgent, InternetAccess access, const std::string& proxy) {
    opens.push_back({userAgent, access, proxy});
    return failOpen ? 0 : Add(Handle(Handle::Internet));
}

InternetHandle FakeHttp::Connect(InternetHandle internet,
                                 const std::string& host,
                                 uint16_t port,
                                 bool secure,
                                 const std::string& user,
                                 const std::string& password) {
    Handle* root = Get(internet);
    if (!root || root->kind != Handle::Internet)
        return 0;
    connects.push_back({host, port, secure, user, password});
    Handle connection(Handle::Connection);
    connection.host = host;
    connection.secure = secure;
    return Add(connection);
}

InternetHandle FakeHttp::OpenRequest(InternetHandle connection,
                                     const std::string& verb,
                                     const std::string& object,
                                     const std::string& version,
                                     bool) {
    Handle* parent = Get(connection);
    if (!parent || parent->kind != Handle::Connection)
        return 0;
    const std::string address = parent->host + object;
    requests.push_back(verb + " " + address + " " + version);
    Handle request(Handle::Request);
    auto head = headResponses.find(address);
    if (head != headResponses.end()) {
        request.response = head->second;
    } else {
        for (const auto& [url, response] : responses) {
            const size_t schemeEnd = url.find("://");
            if (schemeEnd != std::string::npos && url.substr(schemeEnd + 3) == address)
                request.response = response;
        }
    }
    return Add(request);
}

bool FakeHttp::SendRequest(InternetHandle request) {
    Handle* handle = Get(request);
    if (!handle || !handle->response)
        return false;
    handle->sent = true;
    return true;
}

std::optional<std::string> FakeHttp::QueryRawHeaders(InternetHandle request, size_t bufferChars) {
    Handle* handle = Get(request);
    if (!handle || !handle->response || (handle->kind == Handle::Request && !handle->sent))
        return std::nullopt;
    std::string headers = RawHeaders(*handle->response);
    if (headers.size() + 1 > bufferChars)
        return std::nullopt;
    return headers;
}

std::optional<std::string> FakeHttp::QueryStatusCode(InternetHandle request) {
    Handle* handle = Get(request);
    if (!handle || !handle->response)
        return std::nullopt;
    return std::to_string(handle->response->status);
}

InternetHandle FakeHttp::OpenUrl(InternetHandle internet, const std::string& url) {
    Handle* root = Get(internet);
    openedUrls.push_back(url);
    auto it = responses.find(url);
    if (!root || root->kind != Handle::Internet || it == responses.end())
        return 0;
    Handle file(Handle::File);
    file.response = it->second;
    return Add(file);
}

bool FakeHttp::SetFilePointer(InternetHandle file, int32_t distance) {
    filePointerMoves.push_back(distance);
    Handle* handle = Get(file);
    if (!handle || handle->kind != Handle::File || failSetFilePointer || distance < 0 ||
        static_cast<size_t>(distance) > handle->response->body.size())
        return false;
    handle->offset += static_cast<size_t>(distance);
    return true;
}

bool FakeHttp::ReadFile(InternetHandle file, size_t most, std::string& out) {
    Handle* handle = Get(file);
    if (!handle || handle->kind != Handle::File)
        return false;
    if (onRead)
        onRead(handle->offset);
    const Response& response = *handle->response;
    if (response.failReadAt && handle->offset >= *response.failReadAt)
        return false;
    size_t take = response.readPiece ? std::min(most, response.readPiece) : most;
    out = response.body.substr(std::min(handle->offset, response.body.size()), take);
    if (response.endless && out.size() < take)
        out.append(take - out.size(), 'x');
    handle->offset += out.size();
    return true;
}

void FakeHttp::Close(InternetHandle handle) {
    handles_.erase(handle);
}

std::string FakeSign(std::string_view publicKey, std::string_view data) {
    // FNV-1a over the key and the data, stretched to 64 bytes: stable and key-dependent.
    uint64_t hash = 1469598103934665603ull;
    auto mix = [&hash](std::string_view bytes) {
        for (unsigned char c : bytes) {
            hash ^= c;
            hash *= 1099511628211ull;
        }
    };
    mix(publicKey);
    mix(data);
    std::string signature;
    for (int i = 0; i < 8; ++i) {
        mix(std::string_view("\x5A", 1));
        for (int b = 0; b < 8; ++b)
            signature += static_cast<char>((hash >> (8 * b)) & 0xFF);
    }
    return signature;
}

std::string PublicKeyPem(std::string_view xy) {
    std::string der(
        "\x30\x59\x30\x13\x06\x07\x2A\x86\x48\xCE\x3D\x02\x01\x06\x08\x2A\x86\x48\xCE\x3D\x03\x01\x07\x03\x42\x00\x04",
        27);
    der += xy;
    std::string base64 = Base64Encode(der);
    std::string pem = "-----BEGIN PUBLIC KEY-----\n";
    for (size_t i = 0; i < base64.size(); i += 64)
        pem += base64.substr(i, 64) + "\n";
    return pem + "-----END PUBLIC KEY-----\n";
}

std::string LockedDatabase(size_t length, const std::string& version, std::optional<uint64_t> serial) {
    std::string plain = version + "\r\n";
    if (serial)
        plain += "@serial " + std::to_string(*serial) + "\r\n";
    plain += "file|spy.exe|Test.Spyware|\r\n";
    size_t filler = 0;
    // A database with a serial ends in its trailer ("@end items=N sha256=" and 64 hex digits).
    const size_t trailer = serial ? 11 + 8 + 64 + 2 + 4 : 0;
    while (plain.size() + 64 + 2 + trailer < length)
        plain += "path|%ProgramsDir%\\Spy" + std::to_string(filler++) + "\\spy.exe|Test.Spyware|\r\n";
    std::vector<std::string> lines = SplitTextLines(plain, false);
    const size_t trailerLength = serial ? TrailerLine(lines).size() + 2 : 0;
    // The comment fills up to the length exactly.
    lines.push_back("#" + std::string(length - plain.size() - trailerLength - 3, 'z'));
    if (serial)
        lines.push_back(TrailerLine(lines));
    std::string locked;
    for (const std::string& line : lines)
        locked += *LockText(line, kDatabaseKey) + "\r\n";
    return locked;
}

}  // namespace pellora::fakes
