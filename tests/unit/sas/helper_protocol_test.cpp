// The Ctrl+Alt+Del helper's rules: the one-byte exchange, the service's
// answer to a client, and the SoftwareSASGeneration policy at installation
// and uninstallation.
#include "sas/helper_protocol.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace hp::sas {
namespace {

using platform::SasHelperStatus;
using Bytes = std::vector<std::uint8_t>;
constexpr auto kNone = std::nullopt;

TEST(SasHelperWire, OnlyTheOneSentByteIsSent) {
    const std::uint8_t sent = static_cast<std::uint8_t>(SasHelperStatus::Sent);
    const struct {
        Bytes answer;
        bool sent;
    } cases[] = {
        {{sent}, true},
        {{}, false},  // closed without an answer
        {{sent, sent}, false},
        {{static_cast<std::uint8_t>(SasHelperStatus::Refused)}, false},
        {{static_cast<std::uint8_t>(SasHelperStatus::Failed)}, false},
        {{static_cast<std::uint8_t>(SasHelperStatus::BadRequest)}, false},
        {{0}, false},
        {{platform::kSasHelperRequest}, false},  // an echo of the request
    };
    for (const auto& c : cases)
        EXPECT_EQ(platform::sas_helper_answer_is_sent(c.answer), c.sent) << ::testing::PrintToString(c.answer);
}

TEST(SasHelperWire, TheBytesAreDistinctAndNotZero) {
    const std::uint8_t bytes[] = {platform::kSasHelperRequest, static_cast<std::uint8_t>(SasHelperStatus::Sent),
                                  static_cast<std::uint8_t>(SasHelperStatus::Refused),
                                  static_cast<std::uint8_t>(SasHelperStatus::Failed),
                                  static_cast<std::uint8_t>(SasHelperStatus::BadRequest)};
    for (std::size_t i = 0; i < std::size(bytes); ++i) {
        EXPECT_NE(bytes[i], 0);
        for (std::size_t j = i + 1; j < std::size(bytes); ++j) EXPECT_NE(bytes[i], bytes[j]);
    }
}

struct ClientCase {
    const char* name;
    Bytes request;
    std::optional<std::uint32_t> client;
    std::optional<std::uint32_t> console;
    bool sendWorks;
    SasHelperStatus expected;
};

TEST(SasHelperService, SendsOnlyForAValidRequestFromTheConsoleSession) {
    const Bytes ok{platform::kSasHelperRequest};
    const ClientCase cases[] = {
        {"sent", ok, 1u, 1u, true, SasHelperStatus::Sent},
        {"sent_in_session_7", ok, 7u, 7u, true, SasHelperStatus::Sent},
        {"send_unavailable", ok, 1u, 1u, false, SasHelperStatus::Failed},
        {"other_session", ok, 2u, 1u, true, SasHelperStatus::Refused},
        {"services_session", ok, 0u, 1u, true, SasHelperStatus::Refused},
        {"client_session_unknown", ok, kNone, 1u, true, SasHelperStatus::Refused},
        {"console_unknown", ok, 1u, kNone, true, SasHelperStatus::Refused},
        {"no_console_session", ok, kNoConsoleSession, kNoConsoleSession, true, SasHelperStatus::Refused},
        {"both_unknown", ok, kNone, kNone, true, SasHelperStatus::Refused},
        {"nothing_read", {}, 1u, 1u, true, SasHelperStatus::BadRequest},
        {"wrong_byte", {'X'}, 1u, 1u, true, SasHelperStatus::BadRequest},
        {"zero_byte", {0}, 1u, 1u, true, SasHelperStatus::BadRequest},
        {"request_and_more", {platform::kSasHelperRequest, platform::kSasHelperRequest}, 1u, 1u, true,
         SasHelperStatus::BadRequest},
        {"old_text_request", {'S', 'e', 'n', 'd', 'S', 'A', 'S'}, 1u, 1u, true, SasHelperStatus::BadRequest},
        // A bad request is told as such, whoever sends it.
        {"bad_request_other_session", {'X'}, 2u, 1u, true, SasHelperStatus::BadRequest},
    };
    for (const auto& c : cases) {
        int calls = 0;
        const SasHelperStatus status = answer_client(c.request, c.client, c.console, [&] {
            ++calls;
            return c.sendWorks;
        });
        EXPECT_EQ(status, c.expected) << c.name;
        const bool mayCall = c.expected == SasHelperStatus::Sent || c.expected == SasHelperStatus::Failed;
        EXPECT_EQ(calls, mayCall ? 1 : 0) << c.name;
    }
}

// ---------------------------------------------------------------- the policy

struct InstallCase {
    const char* name;
    std::optional<std::uint32_t> current;
    std::optional<PolicyRecord> earlier;
    InstallPlan expected;
};

TEST(SasPolicy, InstallAllowsServicesAndKeepsTheFirstFinding) {
    const InstallCase cases[] = {
        // First installation: the value found is recorded as found.
        {"absent", kNone, kNone, {1u, {kNone, 1u}}},
        {"zero", 0u, kNone, {1u, {0u, 1u}}},
        {"ease_of_access_only", 2u, kNone, {3u, {2u, 3u}}},
        {"services", 1u, kNone, {kNone, {1u, kNone}}},
        {"both", 3u, kNone, {kNone, {3u, kNone}}},
        {"unknown_value", 7u, kNone, {1u, {7u, 1u}}},
        // Reinstallation: our own value is never taken for the user's.
        {"again_over_our_one", 1u, PolicyRecord{kNone, 1u}, {kNone, {kNone, 1u}}},
        {"again_over_our_three", 3u, PolicyRecord{2u, 3u}, {kNone, {2u, 3u}}},
        {"again_found_allowing", 1u, PolicyRecord{1u, kNone}, {kNone, {1u, kNone}}},
        // Changed in between: written again, the first finding kept.
        {"again_after_removed", kNone, PolicyRecord{0u, 1u}, {1u, {0u, 1u}}},
        {"again_after_set_to_two", 2u, PolicyRecord{kNone, 1u}, {3u, {kNone, 3u}}},
        {"again_after_set_to_three", 3u, PolicyRecord{kNone, 1u}, {kNone, {kNone, 1u}}},
    };
    for (const auto& c : cases) EXPECT_EQ(plan_install(c.current, c.earlier), c.expected) << c.name;
}

struct UninstallCase {
    const char* name;
    std::optional<std::uint32_t> current;
    std::optional<PolicyRecord> record;
    UninstallPlan expected;
};

TEST(SasPolicy, UninstallRestoresOnlyWhatItStillFindsItsOwn) {
    const UninstallCase cases[] = {
        {"was_absent", 1u, PolicyRecord{kNone, 1u}, {RestoreAction::Delete, 0}},
        {"was_zero", 1u, PolicyRecord{0u, 1u}, {RestoreAction::Write, 0u}},
        {"was_two", 3u, PolicyRecord{2u, 3u}, {RestoreAction::Write, 2u}},
        {"was_seven", 1u, PolicyRecord{7u, 1u}, {RestoreAction::Write, 7u}},
        {"found_allowing_wrote_nothing", 1u, PolicyRecord{1u, kNone}, {}},
        {"changed_since", 3u, PolicyRecord{kNone, 1u}, {}},
        {"removed_since", kNone, PolicyRecord{kNone, 1u}, {}},
        {"set_to_zero_since", 0u, PolicyRecord{0u, 1u}, {}},
        {"no_record", 1u, kNone, {}},
    };
    for (const auto& c : cases) EXPECT_EQ(plan_uninstall(c.current, c.record), c.expected) << c.name;
}

// The registry in memory; a step named in `failing` fails.
class MemoryRegistry final : public PolicyRegistry {
public:
    std::optional<std::uint32_t> value;
    std::optional<PolicyRecord> kept;
    std::string failing;
    std::vector<std::string> writes;  // in order

    Result<std::optional<std::uint32_t>> policy() override {
        if (failing == "policy") return fail("policy unreadable");
        return value;
    }
    Status set_policy(std::uint32_t v) override {
        if (failing == "set_policy") return fail("policy not written");
        writes.push_back("set_policy " + std::to_string(v));
        value = v;
        return {};
    }
    Status delete_policy() override {
        if (failing == "delete_policy") return fail("policy not deleted");
        writes.push_back("delete_policy");
        value.reset();
        return {};
    }
    Result<std::optional<PolicyRecord>> record() override {
        if (failing == "record") return fail("record unreadable");
        return kept;
    }
    Status set_record(const PolicyRecord& r) override {
        if (failing == "set_record") return fail("record not written");
        writes.push_back("set_record");
        kept = r;
        return {};
    }
    Status delete_record() override {
        if (failing == "delete_record") return fail("record not deleted");
        writes.push_back("delete_record");
        kept.reset();
        return {};
    }
};

TEST(SasPolicy, InstallThenUninstallPutsEveryStartingValueBack) {
    const std::optional<std::uint32_t> starts[] = {kNone, 0u, 1u, 2u, 3u, 9u};
    for (const auto& start : starts) {
        MemoryRegistry registry;
        registry.value = start;
        ASSERT_TRUE(install_policy(registry));
        ASSERT_TRUE(registry.value);
        EXPECT_TRUE(*registry.value == kPolicyServices || *registry.value == kPolicyBoth);
        ASSERT_TRUE(install_policy(registry));  // the upgrade
        ASSERT_TRUE(uninstall_policy(registry));
        EXPECT_EQ(registry.value, start) << ::testing::PrintToString(start);
        EXPECT_EQ(registry.kept, kNone);
    }
}

TEST(SasPolicy, TheRecordIsKeptBeforeThePolicyIsWritten) {
    MemoryRegistry registry;
    ASSERT_TRUE(install_policy(registry));
    EXPECT_EQ(registry.writes, (std::vector<std::string>{"set_record", "set_policy 1"}));
    // An upgrade that finds everything as it left it writes nothing.
    registry.writes.clear();
    ASSERT_TRUE(install_policy(registry));
    EXPECT_TRUE(registry.writes.empty());
}

TEST(SasPolicy, AValueChangedAfterInstallationIsLeftAtUninstallation) {
    MemoryRegistry registry;
    registry.value = 0u;
    ASSERT_TRUE(install_policy(registry));
    registry.value = 3u;  // an administrator's choice
    ASSERT_TRUE(uninstall_policy(registry));
    EXPECT_EQ(registry.value, 3u);
    EXPECT_EQ(registry.kept, kNone);
}

TEST(SasPolicy, FailuresStopBeforeAnythingUnrecordedIsWritten) {
    const struct {
        const char* failing;
        bool installing;
        std::vector<std::string> writes;
        bool recordLeft;
    } cases[] = {
        {"policy", true, {}, false},
        {"record", true, {}, false},
        {"set_record", true, {}, false},  // the policy is never written unrecorded
        {"set_policy", true, {"set_record"}, true},
        {"policy", false, {}, true},
        {"record", false, {}, true},
        {"delete_policy", false, {}, true},  // kept, so that a second run tries again
        {"delete_record", false, {"delete_policy"}, true},
    };
    for (const auto& c : cases) {
        MemoryRegistry registry;
        if (!c.installing) {
            ASSERT_TRUE(install_policy(registry));
            registry.writes.clear();
        }
        registry.failing = c.failing;
        const Status done = c.installing ? install_policy(registry) : uninstall_policy(registry);
        EXPECT_FALSE(done) << c.failing;
        EXPECT_EQ(registry.writes, c.writes) << c.failing;
        EXPECT_EQ(registry.kept.has_value(), c.recordLeft) << c.failing;
    }
}

}  // namespace
}  // namespace hp::sas
