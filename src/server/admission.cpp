#include "server/admission.h"

#include <algorithm>

namespace hp::server {

namespace {
// Buckets of sources long quiet are full again and can be forgotten.
constexpr std::size_t kBucketsKept = 4096;
}  // namespace

IpAddress admission_source(const IpAddress& peer) {
    IpAddress source = peer.unmapped();
    if (!source.is_v4()) std::fill(source.octets.begin() + 8, source.octets.end(), std::uint8_t{0});
    return source;
}

Admission::Admission(AdmissionLimits limits) : limits_(limits) {}

std::optional<Admission::Admitted> Admission::admit(const IpAddress& peer, Closer closer) {
    const IpAddress source = admission_source(peer);
    std::lock_guard lock(mutex_);
    std::size_t& count = perSource_[source];
    if (count >= limits_.perSource) {
        if (count == 0) perSource_.erase(source);
        return std::nullopt;
    }
    Admitted admitted;
    while (connections_.size() >= limits_.total) {
        auto victim = evict_locked();
        if (!victim) break;
        admitted.evicted.push_back(std::move(*victim));
    }
    admitted.id = nextId_++;
    ++perSource_[source];
    connections_.emplace(admitted.id, Connection{source, std::move(closer)});
    return admitted;
}

void Admission::release(std::uint64_t id) {
    std::lock_guard lock(mutex_);
    const auto it = connections_.find(id);
    if (it == connections_.end()) return;
    const auto count = perSource_.find(it->second.source);
    if (count != perSource_.end() && --count->second == 0) perSource_.erase(count);
    connections_.erase(it);
}

std::optional<Admission::Closer> Admission::evict_one() {
    std::lock_guard lock(mutex_);
    return evict_locked();
}

std::optional<Admission::Closer> Admission::evict_locked() {
    if (connections_.empty()) return std::nullopt;
    const auto busiest = std::max_element(perSource_.begin(), perSource_.end(),
                                          [](const auto& a, const auto& b) { return a.second < b.second; });
    // The oldest connection of that source (the map runs oldest first).
    for (auto it = connections_.begin(); it != connections_.end(); ++it) {
        if (!(it->second.source == busiest->first)) continue;
        Closer closer = std::move(it->second.closer);
        if (--busiest->second == 0) perSource_.erase(busiest);
        connections_.erase(it);
        return closer;
    }
    return std::nullopt;
}

bool Admission::allow_handshake(const IpAddress& peer, Instant now) {
    const IpAddress source = admission_source(peer);
    std::lock_guard lock(mutex_);
    if (buckets_.size() >= kBucketsKept && !buckets_.contains(source)) {
        // Drop the buckets that have refilled completely: they hold nothing.
        std::erase_if(buckets_, [&](const auto& entry) {
            const double seconds = std::chrono::duration<double>(now - entry.second.refilled).count();
            return entry.second.tokens + seconds * limits_.handshakesPerSecond >= limits_.handshakeBurst;
        });
    }
    auto [it, fresh] = buckets_.try_emplace(source, Bucket{limits_.handshakeBurst, now});
    Bucket& b = it->second;
    if (!fresh) {
        const double seconds = std::chrono::duration<double>(now - b.refilled).count();
        b.tokens = std::min(limits_.handshakeBurst, b.tokens + std::max(0.0, seconds) * limits_.handshakesPerSecond);
        b.refilled = now;
    }
    if (b.tokens < 1.0) return false;
    b.tokens -= 1.0;
    return true;
}

std::size_t Admission::unauthenticated() const {
    std::lock_guard lock(mutex_);
    return connections_.size();
}

}  // namespace hp::server
