#include "sas/helper_protocol.h"

namespace hp::sas {

using platform::SasHelperStatus;

SasHelperStatus answer_client(std::span<const std::uint8_t> request, std::optional<std::uint32_t> clientSession,
                              std::optional<std::uint32_t> consoleSession, const std::function<bool()>& send) {
    if (request.size() != 1 || request[0] != platform::kSasHelperRequest) return SasHelperStatus::BadRequest;
    if (!clientSession || !consoleSession || *consoleSession == kNoConsoleSession ||
        *clientSession != *consoleSession)
        return SasHelperStatus::Refused;
    return send() ? SasHelperStatus::Sent : SasHelperStatus::Failed;
}

namespace {

bool allows_services(std::uint32_t value) { return value == kPolicyServices || value == kPolicyBoth; }

}  // namespace

InstallPlan plan_install(std::optional<std::uint32_t> current, const std::optional<PolicyRecord>& earlier) {
    InstallPlan plan;
    if (!current || !allows_services(*current))
        plan.write = (current == kPolicyEaseOfAccess) ? kPolicyBoth : kPolicyServices;
    if (earlier) {
        // The first installation's finding stands; what this one writes (if
        // anything) is what the uninstallation must find to restore it.
        plan.record.found = earlier->found;
        plan.record.written = plan.write ? plan.write : earlier->written;
    } else {
        plan.record.found = current;
        plan.record.written = plan.write;
    }
    return plan;
}

UninstallPlan plan_uninstall(std::optional<std::uint32_t> current, const std::optional<PolicyRecord>& record) {
    if (!record || !record->written || current != record->written) return {};
    if (!record->found) return {RestoreAction::Delete, 0};
    return {RestoreAction::Write, *record->found};
}

Status install_policy(PolicyRegistry& registry) {
    const auto current = registry.policy();
    if (!current) return std::unexpected(current.error());
    const auto earlier = registry.record();
    if (!earlier) return std::unexpected(earlier.error());
    const InstallPlan plan = plan_install(*current, *earlier);
    if (plan.record != *earlier) {
        if (auto kept = registry.set_record(plan.record); !kept) return kept;
    }
    if (plan.write) return registry.set_policy(*plan.write);
    return {};
}

Status uninstall_policy(PolicyRegistry& registry) {
    const auto current = registry.policy();
    if (!current) return std::unexpected(current.error());
    const auto record = registry.record();
    if (!record) return std::unexpected(record.error());
    if (!*record) return {};
    const UninstallPlan plan = plan_uninstall(*current, *record);
    Status done;
    switch (plan.action) {
        case RestoreAction::Leave: break;
        case RestoreAction::Write: done = registry.set_policy(plan.value); break;
        case RestoreAction::Delete: done = registry.delete_policy(); break;
    }
    // A record whose restoring failed stays, so that a second run can try
    // again.
    if (!done) return done;
    return registry.delete_record();
}

}  // namespace hp::sas
