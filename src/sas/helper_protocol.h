#pragma once
// The Ctrl+Alt+Del helper service's window-free rules: what it answers one
// client on its pipe, and how its installation sets the
// SoftwareSASGeneration policy and puts it back. The pipe's bytes are in
// platform/sas_system.h, where the host's side reads them too.
#include <cstdint>
#include <functional>
#include <optional>
#include <span>

#include "base/result.h"
#include "platform/sas_system.h"

namespace hp::sas {

// WTSGetActiveConsoleSessionId's answer while no session is attached to the
// physical console (during a session switch, for example).
inline constexpr std::uint32_t kNoConsoleSession = 0xFFFFFFFF;

// The service's answer to one client: `request` is what it read (at most a
// few bytes: enough to tell one byte from more), `clientSession` the
// client's session and `consoleSession` the active console session, each
// nothing when the system could not tell it. `send` calls SendSAS for the
// client and says whether it could; it is called only for a valid request
// from the console session, and its answer decides between Sent and Failed.
// A session that is unknown (or kNoConsoleSession) matches nothing, so the
// sequence never goes to a session that is not the one at the keyboard.
platform::SasHelperStatus answer_client(std::span<const std::uint8_t> request,
                                        std::optional<std::uint32_t> clientSession,
                                        std::optional<std::uint32_t> consoleSession,
                                        const std::function<bool()>& send);

// ---------------------------------------------------------------- the policy
// SoftwareSASGeneration, a DWORD under the key
// HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Policies\System: who may
// generate the sequence in software.
inline constexpr std::uint32_t kPolicyServices = 1;
inline constexpr std::uint32_t kPolicyEaseOfAccess = 2;
inline constexpr std::uint32_t kPolicyBoth = 3;

// What the installation keeps so that the uninstallation can put the policy
// back: the value found before the first installation (nothing: there was
// none) and the value the installations wrote last (nothing: they found the
// policy allowing services and wrote none).
struct PolicyRecord {
    std::optional<std::uint32_t> found;
    std::optional<std::uint32_t> written;
    bool operator==(const PolicyRecord&) const = default;
};

struct InstallPlan {
    std::optional<std::uint32_t> write;  // the value to write; nothing: leave the policy as it is
    PolicyRecord record;                 // the record to keep
    bool operator==(const InstallPlan&) const = default;
};

// At installation, given the policy as it is (nothing: absent) and the
// record of an earlier installation (nothing: none). Services must be
// allowed: absent, 0 (or any value that is not 1, 2 or 3) becomes 1, 2
// (Ease of Access programs only) becomes 3 (both), 1 and 3 are left alone.
// A reinstallation or upgrade keeps the value first found, so the value an
// earlier installation wrote is never taken for the user's own.
InstallPlan plan_install(std::optional<std::uint32_t> current, const std::optional<PolicyRecord>& earlier);

enum class RestoreAction { Leave, Write, Delete };

struct UninstallPlan {
    RestoreAction action = RestoreAction::Leave;
    std::uint32_t value = 0;  // for Write
    bool operator==(const UninstallPlan&) const = default;
};

// At uninstallation, given the policy as it is and the record. The policy
// is put back only while it still holds the value the installation wrote:
// the value found is written again, or the value deleted when there was
// none. A value someone changed since, or one the installation did not
// write, is theirs and is left.
UninstallPlan plan_uninstall(std::optional<std::uint32_t> current, const std::optional<PolicyRecord>& record);

// The registry as the two steps use it: the policy value, and the record
// kept beside the program's uninstall entry.
class PolicyRegistry {
public:
    virtual ~PolicyRegistry() = default;
    // The policy value; nothing when it is absent.
    virtual Result<std::optional<std::uint32_t>> policy() = 0;
    virtual Status set_policy(std::uint32_t value) = 0;
    virtual Status delete_policy() = 0;
    // The record; nothing when none is kept.
    virtual Result<std::optional<PolicyRecord>> record() = 0;
    virtual Status set_record(const PolicyRecord& record) = 0;
    virtual Status delete_record() = 0;
};

// Installation: reads both, keeps the record first (so that the value
// written below is always covered by it), then writes the policy when the
// plan says so.
Status install_policy(PolicyRegistry& registry);
// Uninstallation: reads both, puts the policy back as the plan says, then
// drops the record. Without a record the policy is left as it is.
Status uninstall_policy(PolicyRegistry& registry);

}  // namespace hp::sas
