// The mDNS responder on Linux: a client of avahi-daemon over D-Bus, driven by
// Avahi's own poll thread. Every call into the client library holds the
// poll's lock.
#include "platform/mdns_responder.h"

#include <avahi-client/client.h>
#include <avahi-client/publish.h>
#include <avahi-common/error.h>
#include <avahi-common/strlst.h>
#include <avahi-common/thread-watch.h>

#include <atomic>
#include <cctype>
#include <cstring>
#include <mutex>

namespace hp::platform {

namespace {

std::string avahi_text(int error) { return avahi_strerror(error); }

// The poll thread and the client, shared by the responder and every
// registration so that a registration can always withdraw itself. Lockable:
// holding it keeps the poll thread off the client.
class AvahiConnection {
public:
    AvahiConnection() = default;
    AvahiConnection(const AvahiConnection&) = delete;
    AvahiConnection& operator=(const AvahiConnection&) = delete;
    ~AvahiConnection() {
        if (poll_) avahi_threaded_poll_stop(poll_);  // no-op when it never started
        if (client_) avahi_client_free(client_);
        if (poll_) avahi_threaded_poll_free(poll_);
    }

    Status open() {
        poll_ = avahi_threaded_poll_new();
        if (!poll_) return fail("no mDNS daemon");
        int error = 0;
        // Without AVAHI_CLIENT_NO_FAIL the client is only made when the
        // daemon answers, which is the test of whether there is one. A daemon
        // that goes away later leaves the client in AVAHI_CLIENT_FAILURE,
        // which register_service reads.
        client_ = avahi_client_new(avahi_threaded_poll_get(poll_), AvahiClientFlags(0), nullptr, nullptr,
                                   &error);
        if (!client_) return fail("no mDNS daemon");
        if (avahi_threaded_poll_start(poll_) < 0) return fail("no mDNS daemon");
        return {};
    }

    void lock() { avahi_threaded_poll_lock(poll_); }
    void unlock() { avahi_threaded_poll_unlock(poll_); }
    AvahiClient* client() const { return client_; }

private:
    AvahiThreadedPoll* poll_ = nullptr;
    AvahiClient* client_ = nullptr;
};

// What the daemon has said of one entry group, written by the group's state
// callback on the poll thread. It outlives the group: the group is freed
// (under the poll's lock, so no callback is running) before it goes.
class GroupState {
public:
    MdnsRegistrationState get() const { return state_.load(); }

    static void on_change(AvahiEntryGroup*, AvahiEntryGroupState state, void* context) {
        auto* self = static_cast<GroupState*>(context);
        switch (state) {
            case AVAHI_ENTRY_GROUP_ESTABLISHED:
                self->established_ = true;
                self->state_ = MdnsRegistrationState::Registered;
                break;
            case AVAHI_ENTRY_GROUP_COLLISION:
            case AVAHI_ENTRY_GROUP_FAILURE:
                self->state_ = MdnsRegistrationState::Failed;
                break;
            default:
                // Once published, a group the daemon announces again (after
                // a network change) is still published: only its first
                // probing counts as waiting for an answer.
                if (!self->established_) self->state_ = MdnsRegistrationState::Pending;
                break;
        }
    }

private:
    std::atomic<MdnsRegistrationState> state_{MdnsRegistrationState::Pending};
    bool established_ = false;  // only under the poll's lock, as every callback runs
};

class AvahiRegistration final : public MdnsRegistration {
public:
    // Takes over a committed group whose state callback writes `state`.
    AvahiRegistration(std::shared_ptr<AvahiConnection> conn, AvahiEntryGroup* group,
                      std::unique_ptr<GroupState> state)
        : conn_(std::move(conn)), group_(group), state_(std::move(state)) {}
    ~AvahiRegistration() override {
        std::lock_guard guard(*conn_);
        // Freeing the group withdraws every record of it.
        avahi_entry_group_free(group_);
    }
    AvahiRegistration(const AvahiRegistration&) = delete;
    AvahiRegistration& operator=(const AvahiRegistration&) = delete;

    MdnsRegistrationState state() const override { return state_->get(); }

private:
    std::shared_ptr<AvahiConnection> conn_;
    AvahiEntryGroup* group_;
    std::unique_ptr<GroupState> state_;  // destroyed after the group is freed
};

class StringList {
public:
    StringList() = default;
    StringList(const StringList&) = delete;
    StringList& operator=(const StringList&) = delete;
    ~StringList() { avahi_string_list_free(list_); }
    void add(const std::string& key, const std::string& value) {
        list_ = avahi_string_list_add_pair(list_, key.c_str(), value.c_str());
    }
    AvahiStringList* get() const { return list_; }

private:
    AvahiStringList* list_ = nullptr;
};

std::string without_trailing_dot(std::string s) {
    if (!s.empty() && s.back() == '.') s.pop_back();
    return s;
}

bool same_name(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

AvahiAddress to_avahi(const IpAddress& a) {
    AvahiAddress out{};
    if (a.is_v4()) {
        out.proto = AVAHI_PROTO_INET;
        std::memcpy(&out.data.ipv4.address, a.octets.data(), 4);  // network order
    } else {
        out.proto = AVAHI_PROTO_INET6;
        std::memcpy(out.data.ipv6.address, a.octets.data(), 16);
    }
    return out;
}

class AvahiResponder final : public MdnsResponder {
public:
    explicit AvahiResponder(std::shared_ptr<AvahiConnection> conn) : conn_(std::move(conn)) {}

    Result<std::unique_ptr<MdnsRegistration>> register_service(const MdnsService& s) override {
        // "_hearthpad._tcp.local." is the type "_hearthpad._tcp" in the domain "local".
        std::string type = without_trailing_dot(s.serviceType);
        std::string domain;
        if (const auto dot = type.rfind('.'); dot != std::string::npos && type.substr(dot) == ".local") {
            domain = "local";
            type.resize(dot);
        }
        const std::string host = without_trailing_dot(s.hostName);
        StringList txt;
        for (const auto& [k, v] : s.txt) txt.add(k, v);

        // Declared before the lock and the group, so it outlives both.
        auto state = std::make_unique<GroupState>();
        std::lock_guard guard(*conn_);
        AvahiClient* client = conn_->client();
        if (avahi_client_get_state(client) != AVAHI_CLIENT_S_RUNNING)
            return fail("mDNS daemon not ready: " + avahi_text(avahi_client_errno(client)));
        // Until the commit succeeds the group is freed here, under the lock
        // already held.
        std::unique_ptr<AvahiEntryGroup, decltype(&avahi_entry_group_free)> group(
            avahi_entry_group_new(client, &GroupState::on_change, state.get()), &avahi_entry_group_free);
        if (!group) return fail(avahi_text(avahi_client_errno(client)));

        // When the service's host is the daemon's own host name, the daemon
        // already publishes its addresses; records of our own would collide.
        const char* fqdn = avahi_client_get_host_name_fqdn(client);
        const bool own_host = fqdn && same_name(host, fqdn);
        if (!own_host) {
            for (const auto& a : service_addresses(s)) {
                const AvahiAddress addr = to_avahi(a);
                // No reverse (PTR) record: the daemon's own one for an
                // interface address would collide with it.
                if (const int rc = avahi_entry_group_add_address(group.get(), AVAHI_IF_UNSPEC, AVAHI_PROTO_UNSPEC,
                                                                 AVAHI_PUBLISH_NO_REVERSE, host.c_str(), &addr);
                    rc < 0)
                    return fail(avahi_text(rc));
            }
        }
        if (const int rc = avahi_entry_group_add_service_strlst(
                group.get(), AVAHI_IF_UNSPEC, AVAHI_PROTO_UNSPEC, AvahiPublishFlags(0), s.instanceName.c_str(),
                type.c_str(), domain.empty() ? nullptr : domain.c_str(), own_host ? nullptr : host.c_str(),
                s.port, txt.get());
            rc < 0)
            return fail(avahi_text(rc));
        if (const int rc = avahi_entry_group_commit(group.get()); rc < 0) return fail(avahi_text(rc));
        return std::make_unique<AvahiRegistration>(conn_, group.release(), std::move(state));
    }

private:
    std::shared_ptr<AvahiConnection> conn_;
};

}  // namespace

Result<std::shared_ptr<MdnsResponder>> make_mdns_responder() {
    auto conn = std::make_shared<AvahiConnection>();
    if (auto st = conn->open(); !st) return std::unexpected(st.error());
    return std::make_shared<AvahiResponder>(std::move(conn));
}

}  // namespace hp::platform
