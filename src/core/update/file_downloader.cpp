#include "core/update/file_downloader.h"

#include "core/update/http_text.h"
#include "core/util/text.h"

namespace pellora {

namespace {

// Large enough for any sane response's headers; the HEAD request keeps its classic 1024.
constexpr size_t kResponseHeaderChars = 16384;

bool IsRedirect(int status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

}  // namespace

clsIFileDL::clsIFileDL(HttpPort& http, FileSystemPort& files, UiPort& ui, FileDownloadListener& listener)
    : http_(http), files_(files), ui_(ui), listener_(listener) {}

clsIFileDL::~clsIFileDL() {
    CloseInternet();
}

void clsIFileDL::OpenInternet() {
    if (internet_)
        return;
    switch (ConnectType) {
        case 0:
            internet_ = http_.Open(kUserAgent, InternetAccess::Preconfig, "");
            break;
        case 1:
            internet_ = http_.Open(kUserAgent, InternetAccess::Proxy, ProxyServer + ":" + std::to_string(ProxyPort));
            break;
        case 2:
            internet_ = http_.Open(kUserAgent, InternetAccess::Direct, "");
            break;
        default:
            break;  // no handle: the later calls fail and the download reports "Could not find Url"
    }
}

void clsIFileDL::CloseInternet() {
    if (internet_)
        http_.Close(internet_);
    internet_ = 0;
}

void clsIFileDL::RequestInformation() {
    informationDone_ = true;
    UrlSplit split = SplitUrl(Url);
    ui_.Yield();
    OpenInternet();
    ui_.Yield();
    InternetHandle connection = 0;
    if (internet_) {
        const bool withUser = !SiteUser.empty();
        connection = http_.Connect(internet_, split.host, split.port, split.secure, withUser ? SiteUser : "",
                                   withUser ? SitePassword : "");
    }
    InternetHandle request =
        connection ? http_.OpenRequest(connection, "HEAD", split.path, "HTTP/1.0", split.secure) : 0;
    if (request) {
        ui_.Yield();
        (void)http_.SendRequest(request);
        ui_.Yield();
        if (std::optional<std::string> headers = http_.QueryRawHeaders(request, kHeaderBufferChars)) {
            lastModified_ = LastModifiedOf(*headers);
            ui_.Yield();
            fileSize_ = ContentLengthOf(*headers);
            ui_.Yield();
            fileExists_ = FileExistsOf(*headers);
        } else {
            ui_.Yield();
            std::string status = http_.QueryStatusCode(request).value_or("");
            fileExists_ = status.substr(0, status.find('\0')) == "200";
            lastModified_ = "Not Available";
            fileSize_ = -1;
        }
    }
    ui_.Yield();
    if (request)
        http_.Close(request);
    if (connection)
        http_.Close(connection);
    if (inDownload_)
        CloseInternet();
}

InternetHandle clsIFileDL::OpenFollowingRedirects(const std::string& url) {
    std::string address = WithScheme(url);
    bool secure = false;
    for (int hop = 0; hop <= kMaxRedirects; ++hop) {
        if (!IsHttpAddress(address)) {
            failureDetail_ = "not an http:// or https:// address: " + address;
            redirectRefused_ = hop > 0;
            return 0;
        }
        // Once on https://, a plain http:// hop would hand the transfer to anyone on the way.
        const bool hopSecure = SchemeOf(address) == "https";
        if (secure && !hopSecure) {
            failureDetail_ = address + " (from https:// to http://)";
            redirectRefused_ = true;
            return 0;
        }
        secure = hopSecure;
        InternetHandle file = internet_ ? http_.OpenUrl(internet_, address) : 0;
        if (!file) {
            failureDetail_ = "no answer from " + address;
            return 0;
        }
        std::optional<std::string> headers = http_.QueryRawHeaders(file, kResponseHeaderChars);
        statusCode_ = headers ? StatusCodeOf(*headers) : 0;
        if (!headers || statusCode_ == 0) {
            std::string status = http_.QueryStatusCode(file).value_or("");
            int64_t code = 0;
            statusCode_ =
                ParseWholeNumber(status.substr(0, status.find('\0')), code) && code < 1000 ? static_cast<int>(code) : 0;
        }
        contentLength_ = headers ? ContentLengthOf(*headers) : -1;
        finalUrl_ = address;
        std::optional<std::string> location = headers ? FindHeaderText(*headers, "location: ") : std::nullopt;
        if (!IsRedirect(statusCode_) || !location)
            return file;
        http_.Close(file);
        std::optional<std::string> next = ResolveLocation(address, *location);
        if (!next) {
            failureDetail_ = "a redirect from " + address + " names no address";
            return 0;
        }
        address = *next;
        ui_.Yield();
    }
    failureDetail_ = "more than " + std::to_string(kMaxRedirects) + " redirects";
    return 0;
}

void clsIFileDL::StartDownload() {
    startOffset_ = 0;
    Download();
}

void clsIFileDL::ResumeDownload() {
    startOffset_ = 0;
    std::vector<FindEntry> entries;
    if (!LocalFile.empty() && files_.FindEntries(LocalFile, entries) && entries.size() == 1 &&
        !(entries[0].attributes & file_attr::kDirectory))
        startOffset_ = static_cast<int64_t>(std::min<uint64_t>(entries[0].size, INT32_MAX));
    Download();
}

void clsIFileDL::Download() {
    cancel_ = false;
    cancelled_ = false;
    statusCode_ = 0;
    contentLength_ = -1;
    finalUrl_.clear();
    failureDetail_.clear();
    redirectRefused_ = false;
    tooLarge_ = false;
    ui_.Yield();
    OpenInternet();
    ui_.Yield();
    inDownload_ = false;
    if (!informationDone_)
        RequestInformation();
    inDownload_ = true;
    // RequestInformation closed the root handle; the transfer needs one.
    OpenInternet();
    ui_.Yield();

    InternetHandle file = OpenFollowingRedirects(Url);
    if (!file) {
        CloseInternet();
        listener_.ctlIFileDownloadError(kErrorFindUrl);
        return;
    }
    auto closeNetwork = [&] {
        http_.Close(file);
        CloseInternet();
    };

    // Announced too long: refused before a byte is read.
    if (MaxLength >= 0 && contentLength_ > MaxLength) {
        tooLarge_ = true;
        failureDetail_ = finalUrl_ + " announces " + std::to_string(contentLength_) + " bytes, more than " +
                         std::to_string(MaxLength);
        closeNetwork();
        listener_.ctlIFileDownloadError(kErrorTooLarge);
        return;
    }

    int64_t total = 0;
    if (startOffset_ != 0) {
        ui_.Yield();
        if (!http_.SetFilePointer(file, static_cast<int32_t>(startOffset_))) {
            failureDetail_ = "the server cannot start at byte " + std::to_string(startOffset_);
            closeNetwork();
            listener_.ctlIFileDownloadError(kErrorSetPosition);
            return;
        }
        total = startOffset_;
    }

    ui_.Yield();
    std::unique_ptr<FileWriter> local = files_.OpenFileWriter(LocalFile, startOffset_ != 0);
    if (!local) {
        failureDetail_ = "cannot create " + LocalFile;
        closeNetwork();
        listener_.ctlIFileDownloadError(kErrorLocalFile);
        return;
    }

    std::string chunk;
    for (;;) {
        ui_.Yield();
        const bool read = http_.ReadFile(file, kTransferChunk, chunk);
        ui_.Yield();
        if (!read) {
            failureDetail_ = "the transfer broke off after " + std::to_string(total) + " bytes";
            closeNetwork();
            local.reset();
            listener_.ctlIFileDownloadError(kErrorReadUrl);
            return;
        }
        total += static_cast<int64_t>(chunk.size());
        // Arriving too long (a body without or beyond its Content-Length): nothing past the
        // limit is written or kept.
        if (MaxLength >= 0 && total > MaxLength) {
            tooLarge_ = true;
            failureDetail_ = finalUrl_ + " sent more than " + std::to_string(MaxLength) + " bytes";
            closeNetwork();
            local.reset();
            listener_.ctlIFileDownloadError(kErrorTooLarge);
            return;
        }
        if (!local->Write(chunk)) {
            failureDetail_ = "cannot write " + LocalFile;
            closeNetwork();
            local.reset();
            listener_.ctlIFileDownloadError(kErrorLocalFile);
            return;
        }
        listener_.ctlIFileDownloadProgress(total);
        ui_.Yield();
        if (cancel_) {
            cancelled_ = true;
            closeNetwork();
            local.reset();
            return;
        }
        if (chunk.empty()) {
            closeNetwork();
            // Through to the disk before anyone may install it.
            const bool flushed = local->Flush();
            local.reset();
            if (!flushed) {
                failureDetail_ = "cannot write " + LocalFile;
                listener_.ctlIFileDownloadError(kErrorLocalFile);
                return;
            }
            listener_.ctlIFileDownloadComplete();
            return;
        }
    }
}

std::optional<std::string> clsIFileDL::FetchSmall(const std::string& url, size_t limit, std::string& detail) {
    OpenInternet();
    InternetHandle file = OpenFollowingRedirects(url);
    std::optional<std::string> body;
    if (!file) {
        detail = failureDetail_;
    } else if (statusCode_ != 200) {
        detail = "status " + std::to_string(statusCode_) + " for " + finalUrl_;
    } else {
        std::string all, chunk;
        for (;;) {
            ui_.Yield();
            if (!http_.ReadFile(file, kTransferChunk, chunk)) {
                detail = "the transfer of " + finalUrl_ + " broke off";
                break;
            }
            if (chunk.empty()) {
                if (contentLength_ >= 0 && static_cast<int64_t>(all.size()) != contentLength_) {
                    detail = "received " + std::to_string(all.size()) + " bytes of " + finalUrl_ + ", Content-Length " +
                             std::to_string(contentLength_);
                } else {
                    body = std::move(all);
                }
                break;
            }
            all += chunk;
            if (all.size() > limit) {
                detail = finalUrl_ + " is larger than " + std::to_string(limit) + " bytes";
                break;
            }
        }
    }
    if (file)
        http_.Close(file);
    CloseInternet();
    return body;
}

std::map<std::string, std::string> clsIFileDL::SaveSettings() const {
    return {{"LocalFile", LocalFile},       {"Url", Url},
            {"Port", std::to_string(Port)}, {"SiteUser", SiteUser},
            {"SitePassword", SitePassword}, {"ProxyPort", std::to_string(ProxyPort)},
            {"ProxyServer", ProxyServer},   {"ConnectType", std::to_string(ConnectType)}};
}

void clsIFileDL::LoadSettings(const std::map<std::string, std::string>& values) {
    auto text = [&](const char* name) {
        auto it = values.find(name);
        return it == values.end() ? std::string() : it->second;
    };
    auto number = [&](const char* name, int64_t fallback, int64_t low, int64_t high) {
        auto it = values.find(name);
        if (it == values.end())
            return fallback;
        int64_t value = LeadingInteger(it->second);
        return value < low || value > high ? fallback : value;
    };
    LocalFile = text("LocalFile");
    Url = text("Url");
    Port = static_cast<int16_t>(number("Port", 80, INT16_MIN, INT16_MAX));
    SiteUser = text("SiteUser");
    SitePassword = text("SitePassword");
    ProxyPort = static_cast<int16_t>(number("ProxyPort", 8080, INT16_MIN, INT16_MAX));
    ProxyServer = text("ProxyServer");
    ConnectType = static_cast<int32_t>(number("ConnectType", 0, INT32_MIN, INT32_MAX));
}

}  // namespace pellora
