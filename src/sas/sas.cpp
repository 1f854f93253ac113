#include "sas/sas.h"

#include <mutex>
#include <utility>

#include "base/json_text.h"

namespace hp::sas {

namespace {

// The one result waiting between the Ctrl+Alt+Del routine and the executor
// that hands it to the requesting client. Process-wide by nature: the
// routine and the executor meet only here.
struct PendingSlot {
    std::mutex mutex;
    std::optional<std::string> text;
};

PendingSlot& pending_slot() {
    static PendingSlot slot;
    return slot;
}

constexpr const char* kUnavailableMessage =
    "Ctrl+Alt+Del is not available on this PC (install Hearthpad with its Ctrl+Alt+Del helper)";

}  // namespace

bool policy_allows(platform::SasSender sender, std::uint32_t policy) {
    switch (sender) {
        case platform::SasSender::Service: return policy == 1 || policy == 3;
        case platform::SasSender::Accessibility: return policy == 2 || policy == 3;
        case platform::SasSender::None: return false;
    }
    return false;
}

Outcome decide(platform::SasSystem& system) {
    // Without anyone able to send the sequence, nothing the user could set
    // on the PC would make it work: no policy or rights advice.
    const platform::SasSender sender = system.sender();
    if (sender == platform::SasSender::None) return Outcome::Unavailable;
    const std::optional<std::uint32_t> policy = system.readPolicy();
    if (!policy || !policy_allows(sender, *policy)) return Outcome::PolicyMissing;
    if (!system.sendSas(sender)) return Outcome::Unavailable;
    return Outcome::Ok;
}

const char* outcome_code(Outcome o) {
    switch (o) {
        case Outcome::Ok: return "sas_ok";
        case Outcome::PolicyMissing: return "sas_policy_missing";
        case Outcome::NeedsAdmin: return "sas_needs_admin";
        case Outcome::Unavailable: return "sas_unavailable";
    }
    return "sas_unavailable";
}

const char* outcome_message(Outcome o) {
    switch (o) {
        case Outcome::Ok: return "Ctrl+Alt+Del sent";
        case Outcome::PolicyMissing:
            return "Ctrl+Alt+Del needs setup on the PC: run this app as administrator once and enable the "
                   "SoftwareSASGeneration policy";
        case Outcome::NeedsAdmin:
            return "Ctrl+Alt+Del needs setup on the PC: run this app as administrator once "
                   "(SoftwareSASGeneration is enabled)";
        case Outcome::Unavailable: return kUnavailableMessage;
    }
    return kUnavailableMessage;
}

std::string result_json(Outcome o) {
    std::string out = "{\"code\":";
    append_json_string(out, outcome_code(o));
    out += ",\"message\":";
    append_json_string(out, outcome_message(o));
    out += '}';
    return out;
}

void send_secure_attention(platform::SasSystem& system) {
    std::string text = result_json(decide(system));
    PendingSlot& slot = pending_slot();
    std::lock_guard lock(slot.mutex);
    slot.text = std::move(text);
}

std::optional<std::string> take_pending_result() {
    PendingSlot& slot = pending_slot();
    std::lock_guard lock(slot.mutex);
    return std::exchange(slot.text, std::nullopt);
}

}  // namespace hp::sas
