#pragma once
// The firewall fix. The window cannot change the firewall itself: it starts
// this program again, elevated, with kAllowFirewallArgument; that run makes
// the change below and exits with an AllowFirewallExit code, which the
// window reads back and turns into a line of text.
//
// The change touches only inbound rules whose program is this one: their
// block rules are disabled, and one enabled allow rule for Private and
// Domain networks (never Public) is left, whatever was there before; a rule
// kept loses any limit of addresses, ports or adapter types it had.
#include <cstdint>
#include <string>
#include <string_view>

#include "base/result.h"
#include "platform/elevation.h"
#include "platform/firewall.h"
#include "text_catalogue/catalogue.h"

namespace hp::connection_check {

inline constexpr std::string_view kAllowFirewallArgument = "--allow-firewall";
inline constexpr std::string_view kFirewallRuleName = "Hearthpad";

// The allow rule Hearthpad keeps for its program (the installer adds the
// same): inbound, allow, enabled, Private and Domain, any protocol, from any
// remote address, on any local port, over every kind of adapter.
platform::FirewallRule hearthpad_firewall_rule(std::string programPath);

// Whether two program paths name the same program: equal after lower-casing
// (paths on Windows are case-insensitive). Both have their environment
// variables expanded already.
bool same_program(std::string_view a, std::string_view b);

// The exit codes of the --allow-firewall run. 1 is left to whatever else
// ends a program badly.
enum class AllowFirewallExit : std::uint32_t {
    Done = 0,
    CannotRead = 2,        // the firewall's rules could not be read; nothing changed
    ManagedElsewhere = 3,  // Group Policy overrides the local rules; nothing changed
    Refused = 4,           // the firewall refused a change (some may have been made)
};

// The change, for the --allow-firewall run.
AllowFirewallExit run_allow_firewall(platform::Firewall& firewall, std::string_view programPath);
// The same, as a status whose error says what went wrong.
Status allow_program_through_firewall(platform::Firewall& firewall, std::string_view programPath);

// The system the window's texts speak of: on Windows the consent prompt is
// Windows' own and the fix opens private networks; on Linux pkexec asks and
// the fix opens the zone of the phones' network (or ufw).
enum class CheckSystem { Windows, Linux };

// What the window says once the elevated run is over: the outcome of
// ElevatedRunner::run_elevated_and_wait, or its failure to start.
// In the language of `texts` (the Linux texts are English only).
std::string allow_firewall_outcome_text(const Result<platform::ElevatedOutcome>& outcome,
                                        const text_catalogue::Catalogue& texts = {},
                                        CheckSystem system = CheckSystem::Windows);
inline std::string allow_firewall_outcome_text(const Result<platform::ElevatedOutcome>& outcome,
                                               CheckSystem system) {
    return allow_firewall_outcome_text(outcome, {}, system);
}
// Whether that outcome means the firewall now lets Hearthpad through.
bool allow_firewall_succeeded(const Result<platform::ElevatedOutcome>& outcome);

}  // namespace hp::connection_check
