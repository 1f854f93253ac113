// HTTPS GET through libcurl, with the same rules as the Windows client:
// https only, certificates and host names verified, redirects never
// followed, no cookies and no authentication, 10 s to connect and at most
// 10 s without progress, the body refused once it grows past the cap.
#include <curl/curl.h>

#include <algorithm>
#include <memory>
#include <mutex>
#include <string>

#include "platform/https_client.h"

namespace hp::platform {
namespace {

struct EasyCloser {
    void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
using UniqueEasy = std::unique_ptr<CURL, EasyCloser>;

struct BodySink {
    Bytes body;
    std::size_t cap = 0;
    bool tooLong = false;
};

std::size_t collect(char* data, std::size_t size, std::size_t count, void* user) {
    auto& sink = *static_cast<BodySink*>(user);
    const std::size_t n = size * count;
    if (sink.body.size() + n > sink.cap) {
        sink.tooLong = true;
        return 0;  // makes the transfer fail
    }
    sink.body.insert(sink.body.end(), data, data + n);
    return n;
}

class CurlClient final : public HttpsClient {
public:
    explicit CurlClient(HttpsClientOptions options) : options_(std::move(options)) {
        // Once per process, before the first handle (not thread-safe itself).
        static std::once_flag once;
        std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    }

    Result<HttpsResponse> get(const HttpsRequest& request) override {
        UniqueEasy easy(curl_easy_init());
        if (!easy) return fail("HTTPS request failed: libcurl could not start");
        const std::string url = "https://" + options_.connectHost.value_or(request.host) + ":" +
                                std::to_string(options_.connectPort.value_or(request.port)) +
                                request.path;
        const std::string caFile =
            options_.trustAnchor ? options_.trustAnchor->string() : std::string();
        const long timeoutMs = static_cast<long>(request.timeout.count());
        const long timeoutS = std::max(1L, timeoutMs / 1000);
        BodySink sink;
        sink.cap = request.maxBody;
        char errorText[CURL_ERROR_SIZE] = {};

        CURL* h = easy.get();
        bool ok = curl_easy_setopt(h, CURLOPT_URL, url.c_str()) == CURLE_OK &&
                  curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "https") == CURLE_OK &&
                  curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 0L) == CURLE_OK &&
                  curl_easy_setopt(h, CURLOPT_USERAGENT, request.userAgent.c_str()) == CURLE_OK &&
                  curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L) == CURLE_OK &&
                  curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, timeoutMs) == CURLE_OK &&
                  // Sending and receiving: fail after a whole timeout without a byte.
                  curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, 1L) == CURLE_OK &&
                  curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME, timeoutS) == CURLE_OK &&
                  // And never longer than the four phases together.
                  curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, 4 * timeoutMs) == CURLE_OK &&
                  curl_easy_setopt(h, CURLOPT_MAXFILESIZE_LARGE,
                                   static_cast<curl_off_t>(request.maxBody)) == CURLE_OK &&
                  curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &collect) == CURLE_OK &&
                  curl_easy_setopt(h, CURLOPT_WRITEDATA, &sink) == CURLE_OK &&
                  curl_easy_setopt(h, CURLOPT_ERRORBUFFER, errorText) == CURLE_OK;
        if (ok && options_.trustAnchor)
            ok = curl_easy_setopt(h, CURLOPT_CAINFO, caFile.c_str()) == CURLE_OK;
        if (!ok) return fail("HTTPS request failed: libcurl refused an option");

        const CURLcode code = curl_easy_perform(h);
        if (sink.tooLong || code == CURLE_FILESIZE_EXCEEDED)
            return fail("HTTPS request failed: the body is longer than " +
                        std::to_string(request.maxBody) + " bytes");
        if (code != CURLE_OK)
            return fail(std::string("HTTPS request failed: ") +
                        (errorText[0] ? errorText : curl_easy_strerror(code)));
        long status = 0;
        if (curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status) != CURLE_OK)
            return fail("HTTPS request failed: no status");
        HttpsResponse response;
        response.status = static_cast<unsigned>(status);
        if (status == 200) response.body = std::move(sink.body);
        return response;
    }

private:
    HttpsClientOptions options_;
};

}  // namespace

std::shared_ptr<HttpsClient> make_https_client(HttpsClientOptions options) {
    return std::make_shared<CurlClient>(std::move(options));
}

}  // namespace hp::platform
