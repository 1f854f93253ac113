// The handshakes read the live network snapshot: endpoints follow address
// changes and Tailscale's status without a restart.
#include <gtest/gtest.h>

#include "host_fixture.h"
#include "platform/fake/fake_process_runner.h"

namespace hp::test {
namespace {

using namespace std::chrono_literals;

std::vector<std::string> strings(const nlohmann::json& list) {
    std::vector<std::string> out;
    for (const auto& e : list) out.push_back(e.get<std::string>());
    return out;
}

class LiveEndpoints : public HostFixture {};

TEST_F(LiveEndpoints, HandshakesSeeTheCurrentAddressesAndTailscaleNames) {
    auto runner = std::make_shared<fake::FakeProcessRunner>();
    for (int i = 0; i < 50; ++i)
        runner->push(platform::ProcessOutcome{
            0, R"({"Self":{"DNSName":"pc.tail1234.ts.net.","TailscaleIPs":["100.101.1.2"]},"Peer":{}})", false});
    configure_ = [runner](main::StartOptions& o) {
        o.processes = runner;
        o.tailscaleApi = "";  // the command line alone
        o.discoveryPeriod = 50ms;
    };
    start();
    system_->set_interfaces(std::vector<IpAddress>{*IpAddress::parse("192.168.1.20"), *IpAddress::parse("100.101.1.2")});

    auto phone = paired_client("Phone");
    const std::string port = std::to_string(this->port());
    auto authenticated_challenge = [&] {
        TestClient again(phone->identity());
        again.pin_host(*phone->pinned_host());
        EXPECT_TRUE(again.connect(this->port()));
        auto r = again.authenticate();
        EXPECT_TRUE(r.ok()) << r.detail;
        return again.last_challenge();
    };
    // Within a few cycles the Tailscale address and MagicDNS name appear.
    nlohmann::json challenge;
    const auto until = std::chrono::steady_clock::now() + 10s;
    do {
        std::this_thread::sleep_for(60ms);
        challenge = authenticated_challenge();
    } while (strings(challenge["tailscaleEndpoints"]).size() < 2 && std::chrono::steady_clock::now() < until);
    EXPECT_EQ(strings(challenge["tailscaleEndpoints"]),
              (std::vector<std::string>{"100.101.1.2:" + port, "pc.tail1234.ts.net:" + port}));
    EXPECT_EQ(strings(challenge["lanEndpoints"]), (std::vector<std::string>{"192.168.1.20:" + port}));

    // A new Wi-Fi address: the next handshake lists it.
    system_->set_interfaces(std::vector<IpAddress>{*IpAddress::parse("10.0.0.7"), *IpAddress::parse("100.101.1.2")});
    const auto later = std::chrono::steady_clock::now() + 10s;
    do {
        std::this_thread::sleep_for(60ms);
        challenge = authenticated_challenge();
    } while (strings(challenge["lanEndpoints"]) != std::vector<std::string>{"10.0.0.7:" + port} &&
             std::chrono::steady_clock::now() < later);
    EXPECT_EQ(strings(challenge["lanEndpoints"]), (std::vector<std::string>{"10.0.0.7:" + port}));
    EXPECT_TRUE(wait_event(HostEventKind::PairedDevicesChanged));
}

}  // namespace
}  // namespace hp::test
