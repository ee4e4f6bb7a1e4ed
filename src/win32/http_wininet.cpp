// The WinINet side of the HTTP port. Two flags matter for the database update: the GET never
// follows a redirect itself (INTERNET_FLAG_NO_AUTO_REDIRECT), because the core decides where a
// database may come from, and nothing is served from or kept in WinINet's cache (RELOAD,
// NO_CACHE_WRITE), so an old or a refused download is never handed out again. Certificate
// errors are never ignored: an https:// address must prove its host.
#include "win32/http_wininet.h"

#include <windows.h>
// After windows.h, whose types it uses.
#include <wininet.h>

#include <vector>

#include "win32/encoding_win.h"

namespace pellora::win32 {

namespace {

HINTERNET H(InternetHandle handle) {
    return reinterpret_cast<HINTERNET>(static_cast<uintptr_t>(handle));
}

InternetHandle Id(HINTERNET handle) {
    return static_cast<InternetHandle>(reinterpret_cast<uintptr_t>(handle));
}

std::optional<std::string> QueryText(InternetHandle request, DWORD what, size_t bufferChars) {
    if (bufferChars == 0)
        return std::nullopt;
    std::vector<wchar_t> buffer(bufferChars, L'\0');
    DWORD length = static_cast<DWORD>(bufferChars * sizeof(wchar_t));
    if (!HttpQueryInfoW(H(request), what, buffer.data(), &length, nullptr))
        return std::nullopt;
    return Narrow(std::wstring_view(buffer.data(), length / sizeof(wchar_t)));
}

}  // namespace

bool HttpWinInet::PastDeadline() const {
    return GetTickCount64() > deadline_;
}

InternetHandle HttpWinInet::Open(const std::string& userAgent, InternetAccess access, const std::string& proxy) {
    const std::wstring agent = Widen(userAgent);
    const std::wstring proxyText = Widen(proxy);
    HINTERNET internet = InternetOpenW(agent.c_str(), static_cast<DWORD>(access),
                                       access == InternetAccess::Proxy ? proxyText.c_str() : nullptr, nullptr, 0);
    if (!internet)
        return 0;
    // Set on the root handle for Windows, which hands them down; OpenUrl sets them again on the
    // handles it makes.
    if (!SetTimeouts(internet)) {
        InternetCloseHandle(internet);
        return 0;
    }
    deadline_ = GetTickCount64() + deadlineMs_;
    return Id(internet);
}

bool HttpWinInet::SetTimeouts(void* handle) const {
    DWORD wait = waitMs_;
    for (DWORD option :
         {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT, INTERNET_OPTION_RECEIVE_TIMEOUT}) {
        // Without them a silent server would hold the transfer forever: no transfer then.
        if (!InternetSetOptionW(handle, option, &wait, sizeof wait))
            return false;
    }
    return true;
}

InternetHandle HttpWinInet::Connect(InternetHandle internet,
                                    const std::string& host,
                                    uint16_t port,
                                    bool secure,
                                    const std::string& user,
                                    const std::string& password) {
    const std::wstring hostText = Widen(host);
    const std::wstring userText = Widen(user);
    const std::wstring passwordText = Widen(password);
    INTERNET_PORT service = port ? port : secure ? INTERNET_DEFAULT_HTTPS_PORT : INTERNET_DEFAULT_HTTP_PORT;
    return Id(InternetConnectW(H(internet), hostText.c_str(), service, user.empty() ? nullptr : userText.c_str(),
                               user.empty() ? nullptr : passwordText.c_str(), INTERNET_SERVICE_HTTP, 0, 0));
}

InternetHandle HttpWinInet::OpenRequest(InternetHandle connection,
                                        const std::string& verb,
                                        const std::string& object,
                                        const std::string& version,
                                        bool secure) {
    const std::wstring verbText = Widen(verb);
    const std::wstring objectText = Widen(object);
    const std::wstring versionText = Widen(version);
    DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | (secure ? INTERNET_FLAG_SECURE : 0);
    return Id(HttpOpenRequestW(H(connection), verbText.c_str(), object.empty() ? nullptr : objectText.c_str(),
                               versionText.c_str(), nullptr, nullptr, flags, 0));
}

bool HttpWinInet::SendRequest(InternetHandle request) {
    if (PastDeadline())
        return false;
    return HttpSendRequestW(H(request), nullptr, 0, nullptr, 0) != FALSE;
}

std::optional<std::string> HttpWinInet::QueryRawHeaders(InternetHandle request, size_t bufferChars) {
    return QueryText(request, HTTP_QUERY_RAW_HEADERS_CRLF, bufferChars);
}

std::optional<std::string> HttpWinInet::QueryStatusCode(InternetHandle request) {
    return QueryText(request, HTTP_QUERY_STATUS_CODE, 32);
}

InternetHandle HttpWinInet::OpenUrl(InternetHandle internet, const std::string& url) {
    if (PastDeadline())
        return 0;
    // InternetOpenUrl would open the connection and request itself, and Wine does not hand the
    // root handle's receive time-out down to them: a silent server then holds it forever. The
    // same request made step by step carries the time-outs on each handle.
    const std::wstring address = Widen(url);
    URL_COMPONENTSW parts{};
    parts.dwStructSize = sizeof parts;
    parts.dwSchemeLength = parts.dwHostNameLength = parts.dwUrlPathLength = parts.dwExtraInfoLength = 1;
    if (!InternetCrackUrlW(address.c_str(), 0, 0, &parts))
        return 0;
    const bool secure = parts.nScheme == INTERNET_SCHEME_HTTPS;
    if (!secure && parts.nScheme != INTERNET_SCHEME_HTTP)
        return 0;
    const std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
    std::wstring object(parts.lpszUrlPath, parts.dwUrlPathLength);
    object.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
    if (object.empty())
        object = L"/";
    HINTERNET connection =
        InternetConnectW(H(internet), host.c_str(), parts.nPort, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0);
    if (!connection || !SetTimeouts(connection)) {
        if (connection)
            InternetCloseHandle(connection);
        return 0;
    }
    const DWORD flags = INTERNET_FLAG_NO_AUTO_REDIRECT | INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE |
                        INTERNET_FLAG_PRAGMA_NOCACHE | (secure ? INTERNET_FLAG_SECURE : 0);
    HINTERNET request = HttpOpenRequestW(connection, L"GET", object.c_str(), L"HTTP/1.1", nullptr, nullptr, flags, 0);
    if (!request || !SetTimeouts(request) || !HttpSendRequestW(request, nullptr, 0, nullptr, 0) || PastDeadline()) {
        if (request)
            InternetCloseHandle(request);
        InternetCloseHandle(connection);
        return 0;
    }
    connections_[Id(request)] = Id(connection);
    return Id(request);
}

bool HttpWinInet::SetFilePointer(InternetHandle file, int32_t distance) {
    return InternetSetFilePointer(H(file), distance, nullptr, FILE_CURRENT, 0) != INVALID_SET_FILE_POINTER;
}

bool HttpWinInet::ReadFile(InternetHandle file, size_t most, std::string& out) {
    out.clear();
    if (PastDeadline())
        return false;
    // A synchronous InternetReadFile waits until the whole buffer is full: a server trickling a
    // byte within each time-out would hold it for hours. Waiting for what is there first bounds
    // each call by one time-out, and the deadline is checked between calls.
    DWORD available = 0;
    if (!InternetQueryDataAvailable(H(file), &available, 0, 0) || PastDeadline())
        return false;
    if (available > 0 && available < most)
        most = available;
    out.assign(most, '\0');
    DWORD read = 0;
    if (!InternetReadFile(H(file), out.data(), static_cast<DWORD>(most), &read)) {
        out.clear();
        return false;
    }
    out.resize(read);
    return true;
}

void HttpWinInet::Close(InternetHandle handle) {
    if (!handle)
        return;
    InternetCloseHandle(H(handle));
    // A request OpenUrl made goes with the connection made for it.
    if (auto it = connections_.find(handle); it != connections_.end()) {
        InternetCloseHandle(H(it->second));
        connections_.erase(it);
    }
}

}  // namespace pellora::win32
