// Linux has no Windows Defender Firewall and no network categories: every
// fact is unknown and every change fails, so the connection check reports
// those findings as unknown.
#include <memory>

#include "platform/firewall.h"

namespace hp::platform {

namespace {

class NoFirewall final : public Firewall {
public:
    std::optional<bool> enabled(unsigned) override { return std::nullopt; }
    std::optional<bool> blocks_all_inbound(unsigned) override { return std::nullopt; }
    std::optional<bool> managed_elsewhere() override { return std::nullopt; }
    Result<std::vector<FirewallRule>> rules() override { return fail(kText); }
    Status disable_rule(std::size_t) override { return fail(kText); }
    Status replace_rule(std::size_t, const FirewallRule&) override { return fail(kText); }
    Status add_rule(const FirewallRule&) override { return fail(kText); }

private:
    static constexpr const char* kText = "there is no Windows Defender Firewall on this system";
};

class NoNetworkList final : public NetworkList {
public:
    std::optional<std::map<std::string, NetworkCategory>> categories() override { return std::nullopt; }
};

}  // namespace

std::unique_ptr<Firewall> make_firewall() { return std::make_unique<NoFirewall>(); }
std::unique_ptr<NetworkList> make_network_list() { return std::make_unique<NoNetworkList>(); }

}  // namespace hp::platform
