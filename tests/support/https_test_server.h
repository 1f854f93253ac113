#pragma once
// tests/support/https_test_server.py as a child process: a local HTTPS server
// on 127.0.0.1 with its own throwaway certificate authority, one port per
// case of the update manifest ("good", "up_to_date", "redirect_301",
// "redirect_302", "oversized", "malformed", "other_host"). The server stops
// when this object goes (its standard input closes).
#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace hp::test {

struct LoggedRequest {
    std::string caseName;
    std::string method;
    std::string path;
    std::string userAgent;
};

class HttpsTestServer {
public:
    // Generates the certificates in `dir` and starts serving; check ok().
    explicit HttpsTestServer(const std::filesystem::path& dir);
    ~HttpsTestServer();
    HttpsTestServer(const HttpsTestServer&) = delete;
    HttpsTestServer& operator=(const HttpsTestServer&) = delete;

    bool ok() const { return !ports_.empty(); }
    std::uint16_t port(const std::string& caseName) const;
    const std::filesystem::path& ca_pem() const { return caPem_; }
    // Every request the server answered so far, in order.
    std::vector<LoggedRequest> requests() const;

private:
    pid_t pid_ = -1;
    int toServer_ = -1;
    std::map<std::string, std::uint16_t> ports_;
    std::filesystem::path caPem_;
    std::filesystem::path log_;
};

}  // namespace hp::test
