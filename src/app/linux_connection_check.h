#pragma once
// The connection check on a Linux desktop, wired to this system: the facts
// the check window and the console's `check` show, and the run of this
// program with --allow-firewall that pkexec starts as root for the fix.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "connection_check/findings.h"
#include "discovery/advert_state.h"

namespace hp::platform {
class System;
class ProcessRunner;
}  // namespace hp::platform

namespace hp::app {

// The facts of this PC: its LAN addresses and firewalld's or ufw's answers
// (firewall-cmd and ufw run by their full paths). Blocking for as long as
// those programs take (a second or two): call it off any window's thread.
connection_check::ConnectionFacts gather_linux_connection_facts(const platform::System& system,
                                                                platform::ProcessRunner& runner,
                                                                discovery::AdvertState advert, std::uint16_t port);

// The findings of such a check as the console prints them, one line each.
std::vector<std::string> linux_connection_check_lines(const platform::System& system,
                                                      platform::ProcessRunner& runner,
                                                      discovery::AdvertState advert, std::uint16_t port);

// `<program> --allow-firewall`, run as root through pkexec: lets Hearthpad
// through firewalld (the service, permanently, in the zone of the phones'
// network, then a reload) or ufw (its application profile) and returns the
// process's exit code, an AllowFirewallExit. What went wrong goes to
// standard error. Call it before anything else starts, and exit with it.
int run_linux_allow_firewall();

}  // namespace hp::app
