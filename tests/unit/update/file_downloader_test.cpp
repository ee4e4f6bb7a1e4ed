// clsIFileDL over the in-memory HTTP port: the HEAD request and its header results, the chunked
// transfer with its progress reports, cancelling, the error reports, resuming and redirects.
#include <gtest/gtest.h>

#include "core/update/file_downloader.h"
#include "fakes/fake_http.h"
#include "fakes/fake_platform.h"

namespace pellora {
namespace {

class Recorder : public FileDownloadListener {
  public:
    void ctlIFileDownloadProgress(int64_t bytes) override { events.push_back(std::to_string(bytes)); }
    void ctlIFileDownloadComplete() override { events.push_back("complete"); }
    void ctlIFileDownloadError(const std::string& text) override { events.push_back("error: " + text); }
    std::vector<std::string> events;
};

class DownloaderTest : public ::testing::Test {
  protected:
    DownloaderTest() {
        fake.files.AddFolder("C:\\Pellora");
        downloader.Url = kUrl;
        downloader.LocalFile = kLocal;
    }
    static constexpr const char* kUrl = "http://db.example/members/DataBase.ref";
    static constexpr const char* kLocal = "C:\\Pellora\\DataBase.tmp";

    void Serve(std::string body) {
        fakes::FakeHttp::Response response;
        response.body = std::move(body);
        http.responses[kUrl] = response;
    }
    using Events = std::vector<std::string>;

    fakes::FakePlatform fake;
    fakes::FakeHttp http;
    Recorder listener;
    clsIFileDL downloader{http, fake.files, fake.ui, listener};
};

TEST_F(DownloaderTest, ReportsEveryChunkThenTheFinalTotalThenCompletion) {
    struct Case {
        size_t length;
        Events events;
    } cases[] = {
        {4096, {"2048", "4096", "4096", "complete"}},
        {0, {"0", "complete"}},
        {2049, {"2048", "2049", "2049", "complete"}},
    };
    for (const Case& c : cases) {
        Serve(std::string(c.length, 'x'));
        listener.events.clear();
        downloader.StartDownload();
        EXPECT_EQ(listener.events, c.events) << c.length;
        EXPECT_EQ(fake.files.Content(kLocal), std::string(c.length, 'x'));
        EXPECT_TRUE(fake.files.Exists(kLocal));
        EXPECT_EQ(downloader.StatusCode(), 200);
        EXPECT_EQ(downloader.ContentLength(), static_cast<int64_t>(c.length));
        EXPECT_EQ(downloader.FinalUrl(), kUrl);
        EXPECT_EQ(http.OpenHandles(), 0u) << "every handle is closed at the end";
    }
    // Only the first download of an instance asks for the headers.
    EXPECT_EQ(http.requests, (std::vector<std::string>{"HEAD db.example/members/DataBase.ref HTTP/1.0"}));
    EXPECT_EQ(http.opens.at(0).userAgent, kUserAgent);
}

TEST_F(DownloaderTest, HeadRequestFillsTheProperties) {
    fakes::FakeHttp::Response head;
    head.body = std::string(10, 'x');
    head.extraHeaders = {"last-modified: Sun, 06 Dec 2026 10:00:00 GMT"};
    http.headResponses["db.example/members/DataBase.ref"] = head;
    Serve(std::string(10, 'x'));
    downloader.RequestInformation();
    EXPECT_TRUE(downloader.FileExists());
    EXPECT_EQ(downloader.FileSize(), 10);
    EXPECT_EQ(downloader.LastModified(), "Sun, 06 Dec 2026 10:00:00 GMT");

    // Without a Content-Length the size is unknown and the transfer still runs to the end.
    head.noLength = true;
    head.extraHeaders.clear();
    http.headResponses["db.example/members/DataBase.ref"] = head;
    downloader.RequestInformation();
    EXPECT_EQ(downloader.FileSize(), -1);
    EXPECT_EQ(downloader.LastModified(), "Not Available");
    downloader.StartDownload();
    EXPECT_EQ(listener.events.back(), "complete");

    // Headers that do not fit 1024 characters: the status code decides, the rest is unknown.
    head.noLength = false;
    head.extraHeaders = {"X-Padding: " + std::string(1100, 'p')};
    http.headResponses["db.example/members/DataBase.ref"] = head;
    downloader.RequestInformation();
    EXPECT_TRUE(downloader.FileExists());
    EXPECT_EQ(downloader.FileSize(), -1);
    EXPECT_EQ(downloader.LastModified(), "Not Available");

    head.status = 404;
    head.reason = "File Not Found";
    head.extraHeaders.clear();
    http.headResponses["db.example/members/DataBase.ref"] = head;
    downloader.RequestInformation();
    EXPECT_FALSE(downloader.FileExists());
}

TEST_F(DownloaderTest, ConnectsAsTheAddressAndTheConnectTypeSay) {
    Serve("abc");
    downloader.Url = "db.example:8123/members/DataBase.ref";
    downloader.SiteUser = "user";
    downloader.SitePassword = "secret";
    downloader.ConnectType = 1;
    downloader.ProxyServer = "proxy.example";
    downloader.RequestInformation();
    ASSERT_EQ(http.opens.size(), 1u);
    EXPECT_EQ(http.opens[0].access, InternetAccess::Proxy);
    EXPECT_EQ(http.opens[0].proxy, "proxy.example:8080");
    ASSERT_EQ(http.connects.size(), 1u);
    EXPECT_EQ(http.connects[0].host, "db.example");
    EXPECT_EQ(http.connects[0].port, 8123);
    EXPECT_EQ(http.connects[0].user, "user");
    EXPECT_EQ(http.connects[0].password, "secret");
    EXPECT_EQ(http.requests.at(0), "HEAD db.example/members/DataBase.ref HTTP/1.0");

    // A password without a user name is not handed over; the root handle of a lone HEAD
    // request stays open for the next one.
    downloader.SiteUser = "";
    downloader.RequestInformation();
    EXPECT_EQ(http.opens.size(), 1u);
    EXPECT_EQ(http.connects.back().password, "");

    clsIFileDL direct(http, fake.files, fake.ui, listener);
    direct.ConnectType = 2;
    direct.RequestInformation();
    EXPECT_EQ(http.opens.back().access, InternetAccess::Direct);

    // An unknown connect type opens nothing, and the download cannot find the address.
    clsIFileDL other(http, fake.files, fake.ui, listener);
    other.Url = kUrl;
    other.LocalFile = kLocal;
    other.ConnectType = 7;
    const size_t opens = http.opens.size();
    other.StartDownload();
    EXPECT_EQ(http.opens.size(), opens);
    EXPECT_EQ(listener.events.back(), "error: Could not find Url");
}

TEST_F(DownloaderTest, CancelStopsAfterTheCurrentChunkWithoutAReport) {
    Serve(std::string(10000, 'x'));
    http.onRead = [&](size_t offset) {
        if (offset == 4096)
            downloader.CancelDownload();
    };
    downloader.StartDownload();
    EXPECT_EQ(listener.events, (Events{"2048", "4096", "6144"}));
    EXPECT_TRUE(downloader.Cancelled());
    EXPECT_EQ(fake.files.Content(kLocal).size(), 6144u);
    EXPECT_EQ(http.OpenHandles(), 0u);
}

TEST_F(DownloaderTest, ReportsEachKindOfFailure) {
    // No such address.
    downloader.StartDownload();
    EXPECT_EQ(listener.events, (Events{"error: Could not find Url"}));

    // The transfer breaks off.
    fakes::FakeHttp::Response broken;
    broken.body = std::string(5000, 'x');
    broken.failReadAt = 4096;
    http.responses[kUrl] = broken;
    listener.events.clear();
    downloader.StartDownload();
    EXPECT_EQ(listener.events, (Events{"2048", "4096", "error: Could not read Url"}));
    EXPECT_EQ(http.OpenHandles(), 0u);

    // The local file cannot be created.
    Serve("abc");
    downloader.LocalFile = "C:\\No such folder\\DataBase.tmp";
    listener.events.clear();
    downloader.StartDownload();
    EXPECT_EQ(listener.events, (Events{"error: Could not write local file"}));
    EXPECT_EQ(http.OpenHandles(), 0u);
}

TEST_F(DownloaderTest, ResumeContinuesTheLocalFile) {
    Serve("0123456789");
    fake.files.AddFile(kLocal, "0123");
    downloader.ResumeDownload();
    EXPECT_EQ(http.filePointerMoves, (std::vector<int32_t>{4}));
    EXPECT_EQ(listener.events, (Events{"10", "10", "complete"}));
    EXPECT_EQ(fake.files.Content(kLocal), "0123456789");

    // A server that cannot seek.
    http.failSetFilePointer = true;
    listener.events.clear();
    downloader.ResumeDownload();
    EXPECT_EQ(listener.events, (Events{"error: Error, while setting position"}));
    EXPECT_EQ(http.OpenHandles(), 0u);
}

TEST_F(DownloaderTest, FollowsRedirectsOnlyToHttpAddresses) {
    auto redirect = [&](const std::string& from, const std::string& to) {
        fakes::FakeHttp::Response response;
        response.status = 302;
        response.reason = "Found";
        response.body = "moved";
        response.extraHeaders = {"Location: " + to};
        http.responses[from] = response;
    };
    redirect(kUrl, "https://mirror.example/db");
    fakes::FakeHttp::Response good;
    good.body = "database";
    http.responses["https://mirror.example/db"] = good;
    downloader.StartDownload();
    EXPECT_EQ(listener.events.back(), "complete");
    EXPECT_EQ(downloader.FinalUrl(), "https://mirror.example/db");
    EXPECT_EQ(fake.files.Content(kLocal), "database");

    struct Case {
        const char* target;
        bool refused;
    } cases[] = {{"file:///C:/Windows/win.ini", true}, {"ftp://mirror.example/db", true}, {"/loop", false}};
    redirect("http://db.example/loop", "/loop");
    for (const Case& c : cases) {
        redirect(kUrl, c.target);
        listener.events.clear();
        downloader.StartDownload();
        EXPECT_EQ(listener.events, (Events{"error: Could not find Url"})) << c.target;
        EXPECT_EQ(downloader.RedirectRefused(), c.refused) << c.target;
        EXPECT_EQ(http.OpenHandles(), 0u);
    }
    EXPECT_NE(downloader.FailureDetail().find("redirects"), std::string::npos);
}

TEST_F(DownloaderTest, SavesAndLoadsItsSettingsWithTheirDefaults) {
    downloader.Port = 81;
    downloader.ConnectType = 1;
    downloader.ProxyServer = "p";
    auto saved = downloader.SaveSettings();
    clsIFileDL other(http, fake.files, fake.ui, listener);
    other.LoadSettings(saved);
    EXPECT_EQ(other.SaveSettings(), saved);
    other.LoadSettings({});
    EXPECT_EQ(other.Port, 80);
    EXPECT_EQ(other.ProxyPort, 8080);
    EXPECT_EQ(other.ConnectType, 0);
    EXPECT_EQ(other.Url, "");
    other.SetProxyUser("u");
    EXPECT_EQ(other.ProxyUser(), "");
}

}  // namespace
}  // namespace pellora
