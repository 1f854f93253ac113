#include "discovery/advertisement.h"

#include "base/utf8.h"
#include "crypto/crypto.h"
#include "discovery/scan.h"

namespace hp::discovery {

std::string host_label(std::string_view host_name) {
    if (host_name.empty()) return "windows-pc";
    std::string label;
    for (std::size_t i = 0; i < host_name.size();) {
        const char c = host_name[i];
        const bool keep = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        if (keep) {
            label.push_back(c);
            ++i;
            continue;
        }
        // One "-" per character: a multi-byte UTF-8 character (or one
        // ill-formed sequence) counts once.
        decode_utf8(host_name, i);
        label.push_back('-');
    }
    return label;
}

std::vector<IpAddress> advertised_addresses(const NetworkSnapshot& net) {
    std::vector<IpAddress> all = net.lan;
    all.insert(all.end(), net.tailscale.begin(), net.tailscale.end());
    if (all.size() >= 2) sort_unique(all);
    return all;
}

std::optional<std::string> ts_property(const NetworkSnapshot& net, std::uint16_t port) {
    if (net.tailscale.empty()) return std::nullopt;
    for (const auto& a : net.tailscale)
        if (a.is_v4()) return format_endpoint(a, port);
    return format_endpoint(net.tailscale.front(), port);
}

platform::MdnsService service_description(const AdvertConfig& config, const NetworkSnapshot& net) {
    platform::MdnsService s;
    s.serviceType = std::string(kServiceType);
    s.instanceName = config.hostName;
    s.hostName = host_label(config.hostName) + ".local.";
    s.lan = net.lan;
    s.tailscale = net.tailscale;
    s.port = config.port;
    s.txt = {{"v", "1"}, {"id", config.hostId}, {"name", config.hostName}, {"os", config.osType}};
    if (auto ts = ts_property(net, config.port)) s.txt.emplace_back("ts", *ts);
    s.txt.emplace_back("fp", crypto::fingerprint(config.hostKey));
    return s;
}

namespace {

AdvertState state_of(const AdvertRecord& record, bool have_addresses) {
    if (!record.registration) return have_addresses ? AdvertState::Failed : AdvertState::NoAddress;
    switch (record.registration->state()) {
        case platform::MdnsRegistrationState::Pending: return AdvertState::Pending;
        case platform::MdnsRegistrationState::Registered: return AdvertState::Registered;
        case platform::MdnsRegistrationState::Failed: return AdvertState::Failed;
    }
    return AdvertState::Failed;
}

// A registration the daemon failed, or left unanswered too long, publishes
// nothing and never will.
bool given_up(const AdvertRecord& record, std::chrono::steady_clock::time_point now) {
    if (!record.registration) return false;
    switch (record.registration->state()) {
        case platform::MdnsRegistrationState::Failed: return true;
        case platform::MdnsRegistrationState::Pending: return now - record.registeredAt >= kRegistrationAnswerTimeout;
        case platform::MdnsRegistrationState::Registered: return false;
    }
    return false;
}

}  // namespace

AdvertState update_advertisement(AdvertRecord& record, const AdvertConfig& config, const NetworkSnapshot& net,
                                 platform::MdnsResponder& responder, std::chrono::steady_clock::time_point now) {
    // Emptying the record drops the registration (a pending one is
    // cancelled, a failed one sends nothing) and makes it differ from any
    // network, so the steps below register again.
    if (given_up(record, now)) record = AdvertRecord{};

    // `lan` then `tailscale` as given, compared in order: the Windows
    // responder publishes the first address of each family, so a change of
    // order alone registers again. (Avahi publishes them sorted.)
    std::vector<IpAddress> addresses = net.lan;
    addresses.insert(addresses.end(), net.tailscale.begin(), net.tailscale.end());
    const std::optional<std::string> ts = ts_property(net, config.port);
    if (record.addresses && *record.addresses == addresses && record.ts == ts)
        return state_of(record, !addresses.empty());
    // The last registration, if any, stays.
    if (addresses.empty()) return state_of(record, false);

    if (record.registration) {
        // Dropping the registration sends the unregister request; its answer
        // is not awaited. The record is emptied with it, so that a refused
        // registration below is retried even if the addresses return to the
        // old ones.
        record = AdvertRecord{};
    }
    const platform::MdnsService service = service_description(config, net);
    auto registration = responder.register_service(service);
    if (!registration) return AdvertState::Failed;  // tried again next cycle: the record differs
    record.fullName = service.full_name();
    record.addresses = addresses;
    record.ts = ts;
    record.registration = std::move(*registration);
    record.registeredAt = now;
    return state_of(record, true);
}

}  // namespace hp::discovery
