#pragma once
// Ctrl+Alt+Del: the outcome decision and the pending result slot that the
// input executor hands to the requesting client.
#include <optional>
#include <string>

#include "platform/sas_system.h"

namespace hp::sas {

// The codes a client can receive. NeedsAdmin is no longer the outcome of any
// request (the host's own rights decide nothing: only a service or a uiAccess
// token can send the sequence); it keeps its code and text for clients that
// know them.
enum class Outcome { Ok = 0, PolicyMissing = 1, NeedsAdmin = 2, Unavailable = 3 };

// Whether the SoftwareSASGeneration value lets `sender` generate the
// sequence: 1 services, 2 Ease of Access (uiAccess) programs, 3 both.
bool policy_allows(platform::SasSender sender, std::uint32_t policy);

// Without a sender: Unavailable, before the policy is read. Then a policy
// that does not allow that sender: PolicyMissing. Then the sender is asked:
// Ok only when it reports the sequence sent, Unavailable otherwise.
Outcome decide(platform::SasSystem& system);
const char* outcome_code(Outcome o);
const char* outcome_message(Outcome o);
// {"code":"…","message":"…"}
std::string result_json(Outcome o);

// Runs decide() and stores the serialized result in the pending slot,
// replacing an earlier unsent one.
void send_secure_attention(platform::SasSystem& system);
// Takes the pending result, leaving the slot empty.
std::optional<std::string> take_pending_result();

}  // namespace hp::sas
