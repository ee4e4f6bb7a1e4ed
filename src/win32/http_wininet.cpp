// The WinINet side of the HTTP port. Two flags matter for the database update: the GET never
// follows a redirect itself (INTERNET_FLAG_NO_AUTO_REDIRECT), because the core decides where a
// database may come from, and nothing is served from or kept in WinINet's cache (RELOAD,
// NO_CACHE_WRITE), so an old or a refused download is never handed out again. Certificate
// errors are never ignored: an https:// address must prove its host.
#include "win32/http_wininet.h"

#include <windows.h>
// After windows.h, whose types it uses.
#include <wininet.h>

#include <algorithm>
#include <condition_variable>
#include <memory>
#include <system_error>
#include <thread>
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

// One call handed to the worker: shared with it, so that a worker that outlives its caller (a
// call given up) still writes into memory of its own.
struct WorkerCall {
    std::function<bool()> call;
    bool succeeded = false;
    HANDLE done = nullptr;
    ~WorkerCall() {
        if (done)
            CloseHandle(done);
    }
};

}  // namespace

// The thread the waiting calls run on, one call at a time. Shared with the thread: a worker stuck
// in a call that was given up is left to end on its own, and the next call gets a new worker.
struct HttpWinInet::Worker {
    std::mutex mutex;
    std::condition_variable wake;
    std::shared_ptr<WorkerCall> next;
    bool quit = false;

    static void Run(std::shared_ptr<Worker> worker) {
        for (;;) {
            std::shared_ptr<WorkerCall> work;
            {
                std::unique_lock<std::mutex> lock(worker->mutex);
                worker->wake.wait(lock, [&] { return worker->quit || worker->next; });
                if (!worker->next)
                    return;
                work = std::move(worker->next);
            }
            work->succeeded = work->call();
            SetEvent(work->done);
        }
    }
    void Quit() {
        {
            std::lock_guard<std::mutex> lock(mutex);
            quit = true;
        }
        wake.notify_one();
    }
};

HttpWinInet::HttpWinInet(uint32_t waitMs, uint64_t deadlineMs)
    : waitMs_(waitMs), deadlineMs_(deadlineMs), interrupt_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

HttpWinInet::~HttpWinInet() {
    if (worker_)
        worker_->Quit();
    if (interrupt_)
        CloseHandle(interrupt_);
}

void HttpWinInet::Interrupt() {
    if (interrupt_)
        SetEvent(interrupt_);
}

bool HttpWinInet::PastDeadline() const {
    return GetTickCount64() > deadline_;
}

bool HttpWinInet::GivenUp(InternetHandle handle) {
    return stopped_ || closed_.count(handle) || !interrupt_ || WaitForSingleObject(interrupt_, 0) == WAIT_OBJECT_0;
}

bool HttpWinInet::Guarded(InternetHandle handle, std::function<bool()> call) {
    if (GivenUp(handle) || PastDeadline())
        return false;
    auto work = std::make_shared<WorkerCall>();
    work->call = std::move(call);
    work->done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!work->done)
        return false;
    if (!worker_) {
        auto worker = std::make_shared<Worker>();
        try {
            std::thread(Worker::Run, worker).detach();
        } catch (const std::system_error&) {
            return false;
        }
        worker_ = std::move(worker);
    }
    {
        std::lock_guard<std::mutex> lock(worker_->mutex);
        worker_->next = work;
    }
    worker_->wake.notify_one();
    const uint64_t now = GetTickCount64();
    const uint64_t end = std::min<uint64_t>(now + waitMs_, deadline_);
    const DWORD wait = static_cast<DWORD>(std::min<uint64_t>(end > now ? end - now : 0, INFINITE - 1));
    HANDLE events[2] = {work->done, interrupt_};
    if (WaitForMultipleObjects(2, events, FALSE, wait) == WAIT_OBJECT_0)
        return work->succeeded;
    // Given up: closing the handle ends the call (the worker returns when the platform lets
    // it, into its own memory, and then ends), and nothing more is asked of this server.
    stopped_ = true;
    closed_.insert(handle);
    InternetCloseHandle(H(handle));
    worker_->Quit();
    worker_.reset();
    return false;
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
    stopped_ = false;
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
    // The HEAD request's handles were made without the time-outs: the guard is all that bounds it.
    return Guarded(request, [request] { return HttpSendRequestW(H(request), nullptr, 0, nullptr, 0) != FALSE; });
}

std::optional<std::string> HttpWinInet::QueryRawHeaders(InternetHandle request, size_t bufferChars) {
    if (closed_.count(request))
        return std::nullopt;
    return QueryText(request, HTTP_QUERY_RAW_HEADERS_CRLF, bufferChars);
}

std::optional<std::string> HttpWinInet::QueryStatusCode(InternetHandle request) {
    if (closed_.count(request))
        return std::nullopt;
    return QueryText(request, HTTP_QUERY_STATUS_CODE, 32);
}

InternetHandle HttpWinInet::OpenUrl(InternetHandle internet, const std::string& url) {
    if (PastDeadline() || GivenUp(internet))
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
    if (!request || !SetTimeouts(request) ||
        !Guarded(Id(request), [request] { return HttpSendRequestW(request, nullptr, 0, nullptr, 0) != FALSE; }) ||
        PastDeadline()) {
        if (request && closed_.erase(Id(request)) == 0)
            InternetCloseHandle(request);
        InternetCloseHandle(connection);
        return 0;
    }
    connections_[Id(request)] = Id(connection);
    return Id(request);
}

bool HttpWinInet::SetFilePointer(InternetHandle file, int32_t distance) {
    return Guarded(file, [file, distance] {
        return InternetSetFilePointer(H(file), distance, nullptr, FILE_CURRENT, 0) != INVALID_SET_FILE_POINTER;
    });
}

bool HttpWinInet::ReadFile(InternetHandle file, size_t most, std::string& out) {
    out.clear();
    // A synchronous InternetReadFile waits until the whole buffer is full: a server trickling a
    // byte within each time-out would hold it for hours. Waiting for what is there first bounds
    // each call by one time-out, and the deadline is checked between calls. The worker reads into
    // a buffer of its own: it may outlive this call.
    auto chunk = std::make_shared<std::string>();
    const bool read = Guarded(file, [file, most, chunk] {
        DWORD available = 0;
        if (!InternetQueryDataAvailable(H(file), &available, 0, 0))
            return false;
        const size_t wanted = available > 0 && available < most ? available : most;
        chunk->assign(wanted, '\0');
        DWORD got = 0;
        if (!InternetReadFile(H(file), chunk->data(), static_cast<DWORD>(wanted), &got))
            return false;
        chunk->resize(got);
        return true;
    });
    if (!read || PastDeadline())
        return false;
    out = std::move(*chunk);
    return true;
}

void HttpWinInet::Close(InternetHandle handle) {
    if (!handle)
        return;
    // A handle closed when its call was given up is not closed twice.
    if (closed_.erase(handle) == 0)
        InternetCloseHandle(H(handle));
    // A request OpenUrl made goes with the connection made for it.
    if (auto it = connections_.find(handle); it != connections_.end()) {
        InternetCloseHandle(H(it->second));
        connections_.erase(it);
    }
}

}  // namespace pellora::win32
