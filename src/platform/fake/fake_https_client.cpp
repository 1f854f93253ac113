#include "platform/fake/fake_https_client.h"

#include <chrono>

namespace hp::fake {

void FakeHttpsClient::respond(std::string_view body) {
    const ByteView bytes = as_bytes(body);
    respond(platform::HttpsResponse{200, Bytes(bytes.begin(), bytes.end())});
}

void FakeHttpsClient::respond(platform::HttpsResponse response) {
    std::lock_guard lock(mutex_);
    answer_ = std::move(response);
}

void FakeHttpsClient::fail(std::string text) {
    std::lock_guard lock(mutex_);
    answer_ = hp::fail(std::move(text));
}

void FakeHttpsClient::hold() {
    std::lock_guard lock(mutex_);
    held_ = true;
}

void FakeHttpsClient::release() {
    {
        std::lock_guard lock(mutex_);
        held_ = false;
    }
    changed_.notify_all();
}

Result<platform::HttpsResponse> FakeHttpsClient::get(const platform::HttpsRequest& request) {
    std::unique_lock lock(mutex_);
    requests_.push_back(request);
    changed_.notify_all();
    changed_.wait(lock, [&] { return !held_; });
    return answer_;
}

std::vector<platform::HttpsRequest> FakeHttpsClient::requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

bool FakeHttpsClient::wait_for_requests(std::size_t n) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(10), [&] { return requests_.size() >= n; });
}

}  // namespace hp::fake
