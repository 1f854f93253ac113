// HTTPS GET through libcurl, with the same rules as the Windows client:
// https only, certificates and host names verified, redirects never
// followed, no cookies and no authentication, 10 s to connect and at most
// 10 s without progress, the body refused once it grows past the cap.
//
// libcurl is opened at the first request, not linked: with its TLS, Kerberos
// and LDAP libraries it is about half of the idle host's resident memory, and
// only the update check uses it.
#include <curl/curl.h>
#include <dlfcn.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <string>

#include "platform/https_client.h"

namespace hp::platform {
namespace {

// The run-time name of the libcurl the headers describe (ABI version 4).
constexpr const char* kLibcurl = "libcurl.so.4";

// The libcurl functions the client calls.
struct Libcurl {
    decltype(&curl_global_init) global_init = nullptr;
    decltype(&curl_easy_init) easy_init = nullptr;
    decltype(&curl_easy_setopt) easy_setopt = nullptr;
    decltype(&curl_easy_perform) easy_perform = nullptr;
    decltype(&curl_easy_getinfo) easy_getinfo = nullptr;
    decltype(&curl_easy_strerror) easy_strerror = nullptr;
    decltype(&curl_easy_cleanup) easy_cleanup = nullptr;
};

template <typename F>
bool find_symbol(void* library, const char* name, F& out) {
    out = reinterpret_cast<F>(::dlsym(library, name));
    return out != nullptr;
}

// Opened and initialised once per process, at the first call, and kept open
// (curl_global_init may run only once); nothing when it cannot be opened.
const Libcurl* libcurl() {
    static const std::optional<Libcurl> api = []() -> std::optional<Libcurl> {
        void* library = ::dlopen(kLibcurl, RTLD_NOW | RTLD_LOCAL);
        if (!library) return std::nullopt;
        Libcurl f;
        if (!(find_symbol(library, "curl_global_init", f.global_init) &&
              find_symbol(library, "curl_easy_init", f.easy_init) &&
              find_symbol(library, "curl_easy_setopt", f.easy_setopt) &&
              find_symbol(library, "curl_easy_perform", f.easy_perform) &&
              find_symbol(library, "curl_easy_getinfo", f.easy_getinfo) &&
              find_symbol(library, "curl_easy_strerror", f.easy_strerror) &&
              find_symbol(library, "curl_easy_cleanup", f.easy_cleanup))) {
            ::dlclose(library);
            return std::nullopt;
        }
        f.global_init(CURL_GLOBAL_DEFAULT);
        return f;
    }();
    return api ? &*api : nullptr;
}

struct EasyCloser {
    const Libcurl* curl;
    void operator()(CURL* easy) const { curl->easy_cleanup(easy); }
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
    explicit CurlClient(HttpsClientOptions options) : options_(std::move(options)) {}

    Result<HttpsResponse> get(const HttpsRequest& request) override {
        const Libcurl* curl = libcurl();
        if (!curl) return fail(std::string("HTTPS request failed: ") + kLibcurl + " could not be loaded");
        UniqueEasy easy(curl->easy_init(), EasyCloser{curl});
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
        bool ok = curl->easy_setopt(h, CURLOPT_URL, url.c_str()) == CURLE_OK &&
                  curl->easy_setopt(h, CURLOPT_PROTOCOLS_STR, "https") == CURLE_OK &&
                  curl->easy_setopt(h, CURLOPT_FOLLOWLOCATION, 0L) == CURLE_OK &&
                  curl->easy_setopt(h, CURLOPT_USERAGENT, request.userAgent.c_str()) == CURLE_OK &&
                  curl->easy_setopt(h, CURLOPT_NOSIGNAL, 1L) == CURLE_OK &&
                  curl->easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, timeoutMs) == CURLE_OK &&
                  // Sending and receiving: fail after a whole timeout without a byte.
                  curl->easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, 1L) == CURLE_OK &&
                  curl->easy_setopt(h, CURLOPT_LOW_SPEED_TIME, timeoutS) == CURLE_OK &&
                  // And never longer than the four phases together.
                  curl->easy_setopt(h, CURLOPT_TIMEOUT_MS, 4 * timeoutMs) == CURLE_OK &&
                  curl->easy_setopt(h, CURLOPT_MAXFILESIZE_LARGE,
                                   static_cast<curl_off_t>(request.maxBody)) == CURLE_OK &&
                  curl->easy_setopt(h, CURLOPT_WRITEFUNCTION, &collect) == CURLE_OK &&
                  curl->easy_setopt(h, CURLOPT_WRITEDATA, &sink) == CURLE_OK &&
                  curl->easy_setopt(h, CURLOPT_ERRORBUFFER, errorText) == CURLE_OK;
        if (ok && options_.trustAnchor)
            ok = curl->easy_setopt(h, CURLOPT_CAINFO, caFile.c_str()) == CURLE_OK;
        if (!ok) return fail("HTTPS request failed: libcurl refused an option");

        const CURLcode code = curl->easy_perform(h);
        if (sink.tooLong || code == CURLE_FILESIZE_EXCEEDED)
            return fail("HTTPS request failed: the body is longer than " +
                        std::to_string(request.maxBody) + " bytes");
        if (code != CURLE_OK)
            return fail(std::string("HTTPS request failed: ") +
                        (errorText[0] ? errorText : curl->easy_strerror(code)));
        long status = 0;
        if (curl->easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status) != CURLE_OK)
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
