// HTTPS GET through WinHTTP: a synchronous session with the system's
// automatic proxy, certificates checked against the system store, redirects
// never followed, no cookies and no authentication; the body read in
// 4096-byte pieces and refused once it grows past the request's cap.
#include <windows.h>
#include <winhttp.h>

#include <memory>
#include <string>

#include "base/atomic_file.h"
#include "platform/https_client.h"
#include "platform/win32/text.h"

namespace hp::platform {
namespace {

struct InternetCloser {
    void operator()(HINTERNET handle) const { WinHttpCloseHandle(handle); }
};
// Every WinHTTP handle has an owner, so each is closed on every path
// (request before connection before session: the reverse of declaration).
using UniqueInternet = std::unique_ptr<void, InternetCloser>;

constexpr DWORD kReadPiece = 4096;

std::unexpected<Error> fail_call(const char* call) {
    const DWORD error = GetLastError();
    return fail(std::string("HTTPS request failed: ") + call + " (error " + std::to_string(error) +
                ": " + os_error_text(error) + ")");
}

class WinHttpClient final : public HttpsClient {
public:
    explicit WinHttpClient(HttpsClientOptions options) : options_(std::move(options)) {}

    Result<HttpsResponse> get(const HttpsRequest& request) override {
        if (options_.trustAnchor)
            return fail("HTTPS request failed: WinHTTP trusts the system store only");
        const auto agent = win32::to_wide(request.userAgent);
        const auto host = win32::to_wide(options_.connectHost.value_or(request.host));
        const auto path = win32::to_wide(request.path);
        if (!agent || !host || !path)
            return fail("HTTPS request failed: the request is not valid UTF-8");
        const INTERNET_PORT port = options_.connectPort.value_or(request.port);
        const int timeout = static_cast<int>(request.timeout.count());

        UniqueInternet session(WinHttpOpen(agent->c_str(), WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY,
                                           WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
        if (!session) return fail_call("WinHttpOpen");
        if (!WinHttpSetTimeouts(session.get(), timeout, timeout, timeout, timeout))
            return fail_call("WinHttpSetTimeouts");
        UniqueInternet connection(WinHttpConnect(session.get(), host->c_str(), port, 0));
        if (!connection) return fail_call("WinHttpConnect");
        UniqueInternet req(WinHttpOpenRequest(connection.get(), L"GET", path->c_str(), nullptr,
                                              WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                              WINHTTP_FLAG_SECURE));
        if (!req) return fail_call("WinHttpOpenRequest");

        DWORD redirects = WINHTTP_OPTION_REDIRECT_POLICY_NEVER;
        if (!WinHttpSetOption(req.get(), WINHTTP_OPTION_REDIRECT_POLICY, &redirects,
                              sizeof redirects))
            return fail_call("WinHttpSetOption(redirect policy)");
        DWORD disabled = WINHTTP_DISABLE_COOKIES | WINHTTP_DISABLE_AUTHENTICATION;
        if (!WinHttpSetOption(req.get(), WINHTTP_OPTION_DISABLE_FEATURE, &disabled,
                              sizeof disabled))
            return fail_call("WinHttpSetOption(disable feature)");

        if (!WinHttpSendRequest(req.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0,
                                WINHTTP_NO_REQUEST_DATA, 0, 0, 0))
            return fail_call("WinHttpSendRequest");
        if (!WinHttpReceiveResponse(req.get(), nullptr)) return fail_call("WinHttpReceiveResponse");

        DWORD status = 0;
        DWORD size = sizeof status;
        if (!WinHttpQueryHeaders(req.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                                 WINHTTP_HEADER_NAME_BY_INDEX, &status, &size,
                                 WINHTTP_NO_HEADER_INDEX))
            return fail_call("WinHttpQueryHeaders");

        HttpsResponse response;
        response.status = status;
        if (status != 200) return response;
        std::uint8_t piece[kReadPiece];
        for (;;) {
            DWORD read = 0;
            if (!WinHttpReadData(req.get(), piece, kReadPiece, &read))
                return fail_call("WinHttpReadData");
            if (read == 0) break;
            if (response.body.size() + read > request.maxBody)
                return fail("HTTPS request failed: the body is longer than " +
                            std::to_string(request.maxBody) + " bytes");
            response.body.insert(response.body.end(), piece, piece + read);
        }
        return response;
    }

private:
    HttpsClientOptions options_;
};

}  // namespace

std::shared_ptr<HttpsClient> make_https_client(HttpsClientOptions options) {
    return std::make_shared<WinHttpClient>(std::move(options));
}

}  // namespace hp::platform
