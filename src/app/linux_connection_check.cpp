#include "app/linux_connection_check.h"

#include <iostream>

#include "connection_check/gather.h"
#include "connection_check/linux_firewall.h"
#include "platform/posix/posix_system.h"
#include "platform/process_runner.h"

namespace hp::app {

namespace cc = connection_check;

cc::ConnectionFacts gather_linux_connection_facts(const platform::System& system, platform::ProcessRunner& runner,
                                                  discovery::AdvertState advert, std::uint16_t port) {
    return cc::gather_linux_facts(system, runner, advert, port);
}

std::vector<std::string> linux_connection_check_lines(const platform::System& system,
                                                      platform::ProcessRunner& runner,
                                                      discovery::AdvertState advert, std::uint16_t port) {
    std::vector<std::string> lines;
    for (const cc::Finding& finding : cc::evaluate(gather_linux_connection_facts(system, runner, advert, port)))
        lines.push_back(cc::console_line(finding));
    return lines;
}

int run_linux_allow_firewall() {
    const auto system = platform::make_posix_system();
    const auto runner = platform::make_process_runner();
    std::string why;
    const cc::AllowFirewallExit exit =
        cc::allow_through_linux_firewall(*runner, cc::deciding_interfaces(*system), why);
    if (exit != cc::AllowFirewallExit::Done) std::cerr << "hearthpad: the firewall was not changed: " << why << '\n';
    return static_cast<int>(exit);
}

}  // namespace hp::app
