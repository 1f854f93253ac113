#pragma once
// HTTPS GET requests, for the update check: WinHTTP on Windows, libcurl on
// Linux. Certificates are always verified against the system's trust store;
// redirects are never followed; cookies and authentication are never used.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "base/bytes.h"
#include "base/result.h"

namespace hp::platform {

struct HttpsRequest {
    std::string host;  // the server's name: resolved, and the name its certificate must carry
    std::uint16_t port = 443;
    std::string path;  // "/version.json"
    std::string userAgent;
    std::size_t maxBody = 16384;               // a longer body fails the request
    std::chrono::milliseconds timeout{10000};  // for each of resolve, connect, send and receive
};

struct HttpsResponse {
    unsigned status = 0;
    Bytes body;  // read only for status 200; empty otherwise
};

class HttpsClient {
public:
    virtual ~HttpsClient() = default;
    // One GET of https://host:port/path. An error for every failure to get a
    // response: resolution, connection, TLS or certificate, timeout, a body
    // longer than maxBody. Any status comes back as a response.
    virtual Result<HttpsResponse> get(const HttpsRequest& request) = 0;
};

// For tests only; the programs pass nothing.
struct HttpsClientOptions {
    // Every request goes to this host and port instead of the request's (the
    // certificate must then name this host), e.g. a test server on localhost.
    std::optional<std::string> connectHost;
    std::optional<std::uint16_t> connectPort;
    // A PEM file of the certificate authority to verify the server against
    // instead of the system's bundle (libcurl). WinHTTP verifies against the
    // system store only; there a request fails when this is set, and tests
    // add their authority to the user's root store instead.
    std::optional<std::filesystem::path> trustAnchor;
};

// The system's client: WinHTTP on Windows, libcurl elsewhere.
std::shared_ptr<HttpsClient> make_https_client(HttpsClientOptions options = {});

}  // namespace hp::platform
