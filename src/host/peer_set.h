#pragma once
// The addresses that have an established session: read by the datagram loop
// for every datagram before it takes the host lock or does any cryptography,
// written only when a session opens or ends. Readers share the lock.
#include <cstdint>
#include <shared_mutex>
#include <utility>
#include <vector>

#include "base/ip_address.h"

namespace hp::host {

class PeerSet {
public:
    void add(const IpAddress& peer) {
        std::unique_lock lock(mutex_);
        for (auto& [address, count] : entries_)
            if (address == peer) {
                ++count;
                return;
            }
        entries_.emplace_back(peer, 1);
    }

    void remove(const IpAddress& peer) {
        std::unique_lock lock(mutex_);
        for (auto it = entries_.begin(); it != entries_.end(); ++it)
            if (it->first == peer) {
                if (--it->second == 0) entries_.erase(it);
                return;
            }
    }

    bool contains(const IpAddress& peer) const {
        std::shared_lock lock(mutex_);
        for (const auto& entry : entries_)
            if (entry.first == peer) return true;
        return false;
    }

private:
    mutable std::shared_mutex mutex_;
    std::vector<std::pair<IpAddress, std::uint32_t>> entries_;
};

}  // namespace hp::host
