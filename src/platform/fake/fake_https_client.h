#pragma once
// An HTTPS client for tests: records every request and answers with the
// response (or error) it was given, optionally holding each request until
// released so a test can look while a check is in progress.
#include <condition_variable>
#include <mutex>
#include <vector>

#include "platform/https_client.h"

namespace hp::fake {

class FakeHttpsClient final : public platform::HttpsClient {
public:
    // Status 200 with this body.
    void respond(std::string_view body);
    void respond(platform::HttpsResponse response);
    void fail(std::string text);
    // While held, get() waits (after recording the request) until release().
    void hold();
    void release();

    Result<platform::HttpsResponse> get(const platform::HttpsRequest& request) override;

    std::vector<platform::HttpsRequest> requests() const;
    // Waits until at least `n` requests arrived; false after 10 s.
    bool wait_for_requests(std::size_t n) const;

private:
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    Result<platform::HttpsResponse> answer_ = hp::fail("no answer set");
    bool held_ = false;
    std::vector<platform::HttpsRequest> requests_;
};

}  // namespace hp::fake
