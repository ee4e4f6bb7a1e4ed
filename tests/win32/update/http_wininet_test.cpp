// WinINet as the downloader uses it, against loopback sockets of the test itself: a server that
// accepts and never answers ends the request with an error once the receive time-out has passed,
// and a server that trickles its body ends the transfer at the overall deadline. The adapter is
// built with short waits here; the program's are 60 seconds and 30 minutes.
#include <gtest/gtest.h>

#include <winsock2.h>

#include <atomic>
#include <chrono>
#include <future>
#include <string>
#include <thread>

#include "win32/http_wininet.h"

namespace pellora::win32 {
namespace {

// A listening socket on 127.0.0.1 with a port of the system's choosing.
class LoopbackListener {
  public:
    LoopbackListener() {
        WSADATA data;
        started_ = WSAStartup(MAKEWORD(2, 2), &data) == 0;
        socket_ = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (socket_ != INVALID_SOCKET && bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
            listen(socket_, 4) == 0) {
            int length = sizeof address;
            if (getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &length) == 0)
                port_ = ntohs(address.sin_port);
        }
    }
    ~LoopbackListener() {
        if (socket_ != INVALID_SOCKET)
            closesocket(socket_);
        if (started_)
            WSACleanup();
    }
    uint16_t port() const { return port_; }
    SOCKET socket() const { return socket_; }
    // Resets the connections waiting in the backlog: a request still waiting for them fails.
    void Close() {
        if (socket_ != INVALID_SOCKET)
            closesocket(socket_);
        socket_ = INVALID_SOCKET;
    }

  private:
    bool started_ = false;
    SOCKET socket_ = INVALID_SOCKET;
    uint16_t port_ = 0;
};

TEST(HttpWinInet, ASilentServerEndsTheRequestWithAnError) {
    LoopbackListener server;  // connections complete in its backlog; nothing is ever sent
    ASSERT_NE(server.port(), 0);
    HttpWinInet http(1500, 10 * 60 * 1000);
    InternetHandle internet = http.Open("Pellora test", InternetAccess::Direct, "");
    ASSERT_NE(internet, 0u);
    const std::string url = "http://127.0.0.1:" + std::to_string(server.port()) + "/members/DataBase.ref";
    InternetHandle file = http.OpenUrl(internet, url);
    std::string chunk;
    // Either the request itself gives up, or the first read does: never a wait without end
    // (the test's own time limit would catch that) and never a success.
    if (file) {
        EXPECT_FALSE(http.ReadFile(file, 2048, chunk) && !chunk.empty());
        http.Close(file);
    }
    http.Close(internet);
}

// A request made step by step (the HEAD of the downloader) carries no WinINet time-out of its own
// under Wine: the adapter's guard alone must end it, and once it has given up on the server,
// the next request to it fails at once.
TEST(HttpWinInet, TheGuardEndsAWaitThePlatformWouldNot) {
    LoopbackListener server;
    ASSERT_NE(server.port(), 0);
    HttpWinInet http(1500, 10 * 60 * 1000);
    InternetHandle internet = http.Open("Pellora test", InternetAccess::Direct, "");
    ASSERT_NE(internet, 0u);
    InternetHandle connection = http.Connect(internet, "127.0.0.1", server.port(), false, "", "");
    ASSERT_NE(connection, 0u);
    InternetHandle request = http.OpenRequest(connection, "HEAD", "/members/DataBase.ref", "HTTP/1.0", false);
    ASSERT_NE(request, 0u);
    // Waited for with a deadline far beyond the guard's 1.5 seconds; a thread that is still
    // inside the request then is left behind and the test fails.
    std::promise<bool> result;
    std::future<bool> sent = result.get_future();
    std::thread sender([&] { result.set_value(http.SendRequest(request)); });
    const bool ended = sent.wait_for(std::chrono::seconds(120)) == std::future_status::ready;
    if (!ended)
        server.Close();  // so that the request ends now and the test with it
    sender.join();
    ASSERT_TRUE(ended) << "the request was never given up";
    EXPECT_FALSE(sent.get());
    EXPECT_FALSE(http.QueryRawHeaders(request, 1024));
    EXPECT_EQ(http.OpenUrl(internet, "http://127.0.0.1:" + std::to_string(server.port()) + "/members/DataBase.ref"),
              0u);
    http.Close(request);
    http.Close(connection);
    http.Close(internet);
}

// Ctrl+C: Interrupt, from another thread, ends a request the server never answers at once,
// long before any time-out, and every later call fails.
TEST(HttpWinInet, AnInterruptEndsTheWaitingRequestAndEveryLaterCall) {
    LoopbackListener server;
    ASSERT_NE(server.port(), 0);
    HttpWinInet http(10 * 60 * 1000, 30 * 60 * 1000);
    // The connection is accepted and held open, silent, until the test ends.
    auto accepted = std::make_shared<std::promise<SOCKET>>();
    std::future<SOCKET> connected = accepted->get_future();
    std::thread([accepted, listener = server.socket()] {
        accepted->set_value(accept(listener, nullptr, nullptr));
    }).detach();
    InternetHandle internet = http.Open("Pellora test", InternetAccess::Direct, "");
    ASSERT_NE(internet, 0u);
    const std::string url = "http://127.0.0.1:" + std::to_string(server.port()) + "/members/DataBase.ref";
    std::promise<InternetHandle> result;
    std::future<InternetHandle> opened = result.get_future();
    std::thread opener([&] { result.set_value(http.OpenUrl(internet, url)); });
    bool reached = connected.wait_for(std::chrono::seconds(120)) == std::future_status::ready;
    http.Interrupt();
    const bool ended = opened.wait_for(std::chrono::seconds(120)) == std::future_status::ready;
    EXPECT_TRUE(reached) << "the request never reached the server";
    SOCKET client = reached ? connected.get() : INVALID_SOCKET;
    if (!ended) {
        // So that the request ends now and the test with it.
        if (client != INVALID_SOCKET)
            closesocket(client);
        client = INVALID_SOCKET;
        server.Close();
    }
    opener.join();
    ASSERT_TRUE(ended) << "the interrupted request did not end";
    EXPECT_EQ(opened.get(), 0u);
    EXPECT_EQ(http.OpenUrl(internet, url), 0u);
    std::string chunk;
    EXPECT_FALSE(http.ReadFile(internet, 2048, chunk));
    http.Close(internet);
    if (client != INVALID_SOCKET)
        closesocket(client);
}

TEST(HttpWinInet, ATricklingServerEndsAtTheOverallDeadline) {
    LoopbackListener server;
    ASSERT_NE(server.port(), 0);
    std::atomic<bool> stop{false};
    std::thread trickle([&] {
        SOCKET client = accept(server.socket(), nullptr, nullptr);
        if (client == INVALID_SOCKET)
            return;
        const std::string headers = "HTTP/1.1 200 OK\r\nContent-Length: 100000000\r\nConnection: close\r\n\r\n";
        send(client, headers.data(), static_cast<int>(headers.size()), 0);
        // One byte every 100 ms: always within the receive time-out, never done.
        while (!stop && send(client, "x", 1, 0) == 1)
            Sleep(100);
        closesocket(client);
    });
    HttpWinInet http(30 * 1000, 1500);
    InternetHandle internet = http.Open("Pellora test", InternetAccess::Direct, "");
    ASSERT_NE(internet, 0u);
    InternetHandle file =
        http.OpenUrl(internet, "http://127.0.0.1:" + std::to_string(server.port()) + "/members/DataBase.ref");
    ASSERT_NE(file, 0u);
    std::string chunk;
    size_t received = 0;
    bool failed = false;
    // Bounded by the bytes a trickle can send, far beyond the deadline's worth.
    for (int reads = 0; reads < 100000 && !failed; ++reads) {
        if (!http.ReadFile(file, 2048, chunk))
            failed = true;
        else if (chunk.empty())
            break;
        received += chunk.size();
    }
    stop = true;
    http.Close(file);
    http.Close(internet);
    trickle.join();
    EXPECT_TRUE(failed) << "the transfer ended without an error after " << received << " bytes";
    EXPECT_TRUE(chunk.empty());
}

}  // namespace
}  // namespace pellora::win32
