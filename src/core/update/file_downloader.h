// clsIFileDL: downloads one file over HTTP to a local file in 2048-byte chunks on the calling
// thread, yielding between steps, and reports progress, completion or an error to its
// listener. Before the first transfer it asks for the file's headers with a HEAD request.
//
// Beyond the classic class it keeps what the database update must judge a transfer by: the
// status code and Content-Length of the GET that delivered the body and the address it really
// came from. Redirects are followed here, at most kMaxRedirects of them and only to http:// and
// https:// addresses, never from https:// back to http://; WinINet is told not to follow any
// itself. With a MaxLength set, a body announced or arriving longer than that ends the
// transfer before any byte beyond it is written.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "core/ports/file_system.h"
#include "core/ports/http.h"
#include "core/ports/ui.h"

namespace pellora {

inline constexpr const char* kUserAgent = "Mozilla/4.0 (compatible; MSIE 5.0; Windows NT; DigExt)";
inline constexpr size_t kTransferChunk = 2048;
inline constexpr size_t kHeaderBufferChars = 1024;
inline constexpr int kMaxRedirects = 5;

inline constexpr const char* kErrorFindUrl = "Could not find Url";
inline constexpr const char* kErrorReadUrl = "Could not read Url";
inline constexpr const char* kErrorSetPosition = "Error, while setting position";
inline constexpr const char* kErrorLocalFile = "Could not write local file";
inline constexpr const char* kErrorTooLarge = "The file is too large";

class FileDownloadListener {
  public:
    virtual ~FileDownloadListener() = default;
    // Bytes received so far, the start offset included.
    virtual void ctlIFileDownloadProgress(int64_t lBytesRead) = 0;
    // The transfer ended normally and the local file is closed.
    virtual void ctlIFileDownloadComplete() = 0;
    virtual void ctlIFileDownloadError(const std::string& sErrorDescription) = 0;
};

class clsIFileDL {
  public:
    clsIFileDL(HttpPort& http, FileSystemPort& files, UiPort& ui, FileDownloadListener& listener);
    ~clsIFileDL();
    clsIFileDL(const clsIFileDL&) = delete;
    clsIFileDL& operator=(const clsIFileDL&) = delete;

    // Read-only properties, set by RequestInformation.
    bool FileExists() const { return fileExists_; }
    const std::string& LastModified() const { return lastModified_; }
    int32_t FileSize() const { return fileSize_; }

    std::string LocalFile;
    int32_t ConnectType = 0;  // 0 system configuration, 1 named proxy, 2 direct
    std::string Url;
    int16_t Port = 80;  // kept; the connection uses the address's own port or the scheme's
    std::string SiteUser;
    std::string SitePassword;
    int16_t ProxyPort = 8080;
    std::string ProxyServer;
    // The most bytes a transfer may bring (-1: no limit).
    int64_t MaxLength = -1;
    // Accepted and not kept.
    void SetProxyUser(const std::string&) {}
    void SetProxyPassword(const std::string&) {}
    std::string ProxyUser() const { return ""; }
    std::string ProxyPassword() const { return ""; }

    void StartDownload();
    // Continues a local file: the transfer starts at its length and appends to it.
    void ResumeDownload();
    void CancelDownload() { cancel_ = true; }
    void RequestInformation();

    // Named values "LocalFile", "Url", "Port", "SiteUser", "SitePassword", "ProxyPort",
    // "ProxyServer", "ConnectType"; missing ones read as the initial values.
    std::map<std::string, std::string> SaveSettings() const;
    void LoadSettings(const std::map<std::string, std::string>& values);

    // What the last transfer was: whether it was cancelled, the status code and Content-Length
    // (-1 when none) of the response that delivered the body, the address the body came from,
    // and why it failed in more words than the listener's text.
    bool Cancelled() const { return cancelled_; }
    int StatusCode() const { return statusCode_; }
    int64_t ContentLength() const { return contentLength_; }
    const std::string& FinalUrl() const { return finalUrl_; }
    const std::string& FailureDetail() const { return failureDetail_; }
    // A redirect pointed somewhere this class does not go.
    bool RedirectRefused() const { return redirectRefused_; }
    // The body was announced or arrived longer than MaxLength.
    bool TooLarge() const { return tooLarge_; }

    // The whole body of a small file at `url` (redirects followed as for a download), at most
    // `limit` bytes; nothing when it cannot be had or the status is not 200 (`detail` says why).
    std::optional<std::string> FetchSmall(const std::string& url, size_t limit, std::string& detail);

  private:
    void Download();
    void OpenInternet();
    void CloseInternet();
    // InternetOpenUrl on `url`, following redirects; the response's handle, or 0.
    InternetHandle OpenFollowingRedirects(const std::string& url);

    HttpPort& http_;
    FileSystemPort& files_;
    UiPort& ui_;
    FileDownloadListener& listener_;

    bool fileExists_ = false;
    std::string lastModified_;
    int32_t fileSize_ = 0;

    InternetHandle internet_ = 0;
    bool informationDone_ = false;
    bool inDownload_ = false;
    bool cancel_ = false;
    int64_t startOffset_ = 0;

    bool cancelled_ = false;
    int statusCode_ = 0;
    int64_t contentLength_ = -1;
    std::string finalUrl_;
    std::string failureDetail_;
    bool redirectRefused_ = false;
    bool tooLarge_ = false;
};

}  // namespace pellora
