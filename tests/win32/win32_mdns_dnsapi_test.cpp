// The Windows mDNS responder's handling of dnsapi's answers, with the dnsapi
// functions replaced by a recording table (Wine has no DnsServiceRegister):
// the completion callback's status, withdrawing by state, the cancel handle,
// and the request's lifetime. The callbacks are played by the test, as
// dnsapi does, from a thread of their own.
#include <gtest/gtest.h>

#include <windows.h>
#include <windns.h>

#include <algorithm>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "discovery/advertisement.h"
#include "platform/win32/mdns_dnsapi.h"

namespace hp::platform {
namespace {

using discovery::AdvertState;

// dnsapi as far as the responder sees it: every call recorded, instances
// made from storage of its own.
struct FakeDnsApi {
    struct Call {
        PDNS_SERVICE_REGISTER_REQUEST request;
        PDNS_SERVICE_CANCEL cancel;
    };

    mutable std::mutex mutex;
    std::deque<DNS_SERVICE_INSTANCE> instances;  // stable addresses
    std::vector<PDNS_SERVICE_INSTANCE> freed;
    std::vector<Call> registers;
    std::vector<Call> deregisters;
    std::vector<PDNS_SERVICE_CANCEL> cancels;
    bool hasRegisterCancel = true;

    DnsApiTable table() {
        DnsApiTable t;
        t.construct_instance = [this](PCWSTR, PCWSTR, PIP4_ADDRESS, PIP6_ADDRESS, WORD, WORD, WORD, DWORD, PCWSTR*,
                                      PCWSTR*) { return new_instance(); };
        t.free_instance = [this](PDNS_SERVICE_INSTANCE i) {
            std::lock_guard lock(mutex);
            freed.push_back(i);
        };
        t.register_service = [this](PDNS_SERVICE_REGISTER_REQUEST r, PDNS_SERVICE_CANCEL c) {
            std::lock_guard lock(mutex);
            registers.push_back({r, c});
            return kDnsRequestPending;
        };
        t.deregister_service = [this](PDNS_SERVICE_REGISTER_REQUEST r, PDNS_SERVICE_CANCEL c) {
            std::lock_guard lock(mutex);
            deregisters.push_back({r, c});
            return kDnsRequestPending;
        };
        if (hasRegisterCancel)
            t.register_cancel = [this](PDNS_SERVICE_CANCEL c) {
                std::lock_guard lock(mutex);
                cancels.push_back(c);
                return DWORD{ERROR_SUCCESS};
            };
        return t;
    }

    PDNS_SERVICE_INSTANCE new_instance() {
        std::lock_guard lock(mutex);
        return &instances.emplace_back();
    }
    int times_freed(PDNS_SERVICE_INSTANCE i) const {
        std::lock_guard lock(mutex);
        return static_cast<int>(std::count(freed.begin(), freed.end(), i));
    }
    Call last_register() const {
        std::lock_guard lock(mutex);
        return registers.back();
    }

    // dnsapi's completion callback for `request`, with a copy of the
    // instance as dnsapi hands one, on a thread of its own.
    void complete(PDNS_SERVICE_REGISTER_REQUEST request, DWORD status) {
        PDNS_SERVICE_INSTANCE copy = new_instance();
        std::thread([&] { request->pRegisterCompletionCallback(status, request->pQueryContext, copy); }).join();
        EXPECT_EQ(times_freed(copy), 1) << "the instance a callback brings is the callee's to free";
    }
};

MdnsService desk_service() {
    MdnsService s;
    s.serviceType = "_hearthpad._tcp.local.";
    s.instanceName = "Desk";
    s.hostName = "Desk.local.";
    s.lan = {*IpAddress::parse("192.168.1.20")};
    s.port = 49182;
    s.txt = {{"v", "1"}};
    return s;
}

TEST(DnsApiResponder, FailedCompletionIsRegisteredAgainOnceByTheNextUpdate) {
    FakeDnsApi dns;
    auto responder = make_dnsapi_responder(dns.table());
    const discovery::AdvertConfig config{"id-1", "Desk", {}, 49182};
    discovery::NetworkSnapshot net;
    net.lan = {*IpAddress::parse("192.168.1.20")};
    discovery::AdvertRecord record;
    std::chrono::steady_clock::time_point now{};

    EXPECT_EQ(discovery::update_advertisement(record, config, net, *responder, now), AdvertState::Pending);
    ASSERT_EQ(dns.registers.size(), 1u);
    const FakeDnsApi::Call first = dns.last_register();
    PDNS_SERVICE_INSTANCE firstInstance = first.request->pServiceInstance;
    EXPECT_NE(first.cancel, nullptr);

    // The name is taken: the daemon says so after DnsServiceRegister returned.
    dns.complete(first.request, DNS_ERROR_RCODE_YXDOMAIN);
    EXPECT_EQ(record.registration->state(), MdnsRegistrationState::Failed);

    now += std::chrono::seconds(10);
    EXPECT_EQ(discovery::update_advertisement(record, config, net, *responder, now), AdvertState::Pending);
    ASSERT_EQ(dns.registers.size(), 2u) << "exactly one new registration";
    EXPECT_TRUE(dns.deregisters.empty()) << "a failed registration holds nothing to withdraw";
    EXPECT_TRUE(dns.cancels.empty());
    EXPECT_EQ(dns.times_freed(firstInstance), 1) << "nothing is due for the failed request any more";

    dns.complete(dns.last_register().request, ERROR_SUCCESS);
    now += std::chrono::seconds(10);
    EXPECT_EQ(discovery::update_advertisement(record, config, net, *responder, now), AdvertState::Registered);
    EXPECT_EQ(dns.registers.size(), 2u);
}

TEST(DnsApiResponder, RegisteredServiceIsDeregisteredAndItsRequestOutlivesEveryOwner) {
    FakeDnsApi dns;
    auto responder = make_dnsapi_responder(dns.table());
    auto registration = responder->register_service(desk_service());
    ASSERT_TRUE(registration) << registration.error().text;
    const FakeDnsApi::Call reg = dns.last_register();
    PDNS_SERVICE_INSTANCE instance = reg.request->pServiceInstance;
    EXPECT_EQ((*registration)->state(), MdnsRegistrationState::Pending);

    dns.complete(reg.request, ERROR_SUCCESS);
    EXPECT_EQ((*registration)->state(), MdnsRegistrationState::Registered);

    registration->reset();
    responder.reset();
    ASSERT_EQ(dns.deregisters.size(), 1u);
    EXPECT_EQ(dns.deregisters[0].request, reg.request) << "the request the service was registered with";
    EXPECT_TRUE(dns.cancels.empty());
    EXPECT_EQ(dns.times_freed(instance), 0) << "the deregistration's callback is still due";

    // The request is still the one handed to dnsapi when its callback comes.
    EXPECT_EQ(reg.request->pServiceInstance, instance);
    dns.complete(reg.request, ERROR_SUCCESS);
    EXPECT_EQ(dns.times_freed(instance), 1);
}

TEST(DnsApiResponder, UnansweredRegistrationIsCancelledWithItsOwnHandle) {
    struct Case {
        const char* what;
        bool hasRegisterCancel;
        DWORD lateAnswer;        // the registration's callback after it was dropped
        std::size_t cancels;     // DnsServiceRegisterCancel calls
        std::size_t deregisters; // DnsServiceDeRegister calls, all with the registered request
    };
    const Case cases[] = {
        {"cancelled", true, ERROR_CANCELLED, 1, 0},
        {"the success overtook the cancel", true, ERROR_SUCCESS, 1, 1},
        {"no DnsServiceRegisterCancel", false, ERROR_SUCCESS, 0, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        FakeDnsApi dns;
        dns.hasRegisterCancel = c.hasRegisterCancel;
        auto responder = make_dnsapi_responder(dns.table());
        auto registration = responder->register_service(desk_service());
        ASSERT_TRUE(registration) << registration.error().text;
        const FakeDnsApi::Call reg = dns.last_register();
        PDNS_SERVICE_INSTANCE instance = reg.request->pServiceInstance;

        registration->reset();
        responder.reset();
        if (c.cancels) {
            ASSERT_EQ(dns.cancels.size(), 1u);
            EXPECT_EQ(dns.cancels[0], reg.cancel) << "the DNS_SERVICE_CANCEL given to DnsServiceRegister";
        }
        EXPECT_EQ(dns.cancels.size(), c.cancels);
        EXPECT_EQ(dns.times_freed(instance), 0) << "the registration's callback is still due";

        dns.complete(reg.request, c.lateAnswer);
        EXPECT_EQ(dns.cancels.size(), c.cancels);
        ASSERT_EQ(dns.deregisters.size(), c.deregisters);
        for (const auto& d : dns.deregisters) {
            EXPECT_EQ(d.request, reg.request);
            EXPECT_EQ(d.cancel, nullptr);
        }
        // The last callback due (a deregistration's, where there is one)
        // releases the request.
        if (c.deregisters) {
            EXPECT_EQ(dns.times_freed(instance), 0);
            dns.complete(reg.request, ERROR_SUCCESS);
        }
        EXPECT_EQ(dns.times_freed(instance), 1);
    }
}

}  // namespace
}  // namespace hp::platform
