#pragma once
// Ctrl+Alt+Del: the outcome decision and the pending result slot that the
// input executor hands to the requesting client.
#include <optional>
#include <string>

#include "platform/sas_system.h"

namespace hp::sas {

enum class Outcome { Ok = 0, PolicyMissing = 1, NeedsAdmin = 2, Unavailable = 3 };

// Runs the policy, elevation and library checks (sending the sequence when
// all pass) and returns the outcome.
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
