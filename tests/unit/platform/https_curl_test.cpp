// The Linux HTTPS client keeps libcurl out of the process until a request
// needs it (the requests themselves are tested in update/fetch_https_test).
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fstream>
#include <string>

#include "platform/https_client.h"

namespace hp::platform {
namespace {

bool libcurl_mapped() {
    std::ifstream maps("/proc/self/maps");
    std::string line;
    while (std::getline(maps, line))
        if (line.find("/libcurl") != std::string::npos) return true;
    return false;
}

// A loopback port that refuses connections: bound, never listening.
class RefusingPort {
public:
    RefusingPort() : fd_(::socket(AF_INET, SOCK_STREAM, 0)) {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        if (fd_ >= 0 && ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
            ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len) == 0)
            port_ = ntohs(a.sin_port);
    }
    RefusingPort(const RefusingPort&) = delete;
    RefusingPort& operator=(const RefusingPort&) = delete;
    ~RefusingPort() {
        if (fd_ >= 0) ::close(fd_);
    }
    std::uint16_t port() const { return port_; }

private:
    int fd_;
    std::uint16_t port_ = 0;
};

TEST(CurlHttpsClient, OpensLibcurlAtTheFirstRequest) {
    ASSERT_FALSE(libcurl_mapped()) << "the test program must not link libcurl";
    RefusingPort refusing;
    ASSERT_NE(refusing.port(), 0);
    HttpsClientOptions options;
    options.connectHost = "127.0.0.1";
    options.connectPort = refusing.port();
    const auto client = make_https_client(options);
    EXPECT_FALSE(libcurl_mapped());

    HttpsRequest request;
    request.host = "localhost";
    request.path = "/version.json";
    request.timeout = std::chrono::milliseconds(2000);
    const auto response = client->get(request);
    ASSERT_FALSE(response);
    EXPECT_NE(response.error().text.find("HTTPS request failed"), std::string::npos) << response.error().text;
    EXPECT_TRUE(libcurl_mapped());
}

}  // namespace
}  // namespace hp::platform
