#include "sas/sas.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <string>

namespace hp::sas {
namespace {

using ::testing::Return;
using platform::SasSender;

class MockSasSystem : public platform::SasSystem {
public:
    MOCK_METHOD(std::optional<std::uint32_t>, readPolicy, (), (override));
    MOCK_METHOD(SasSender, sender, (), (override));
    MOCK_METHOD(bool, sendSas, (SasSender), (override));
};

struct DecideCase {
    const char* name;
    SasSender sender;
    std::optional<std::uint32_t> policy;
    bool sent;        // what the sender reports when asked
    Outcome expected;
    bool readsPolicy;  // whether the routine may read the policy
    bool asks;         // whether the routine may ask the sender
};

class Decide : public ::testing::TestWithParam<DecideCase> {};

TEST_P(Decide, FollowsSenderThenPolicyThenWhatTheSenderReports) {
    const auto& c = GetParam();
    ::testing::StrictMock<MockSasSystem> system;
    EXPECT_CALL(system, sender()).WillOnce(Return(c.sender));
    EXPECT_CALL(system, readPolicy()).Times(c.readsPolicy ? 1 : 0).WillRepeatedly(Return(c.policy));
    EXPECT_CALL(system, sendSas(c.sender)).Times(c.asks ? 1 : 0).WillRepeatedly(Return(c.sent));
    EXPECT_EQ(decide(system), c.expected);
}

// Without a sender nothing else is looked at. A service (the helper, or
// this process as LocalSystem) needs policy 1 or 3, a uiAccess program 2 or
// 3; "sas_ok" only when the sender reports the sequence sent.
INSTANTIATE_TEST_SUITE_P(
    Sas, Decide,
    ::testing::Values(
        DecideCase{"no_sender", SasSender::None, 1u, true, Outcome::Unavailable, false, false},
        DecideCase{"no_sender_no_policy", SasSender::None, std::nullopt, true, Outcome::Unavailable, false, false},
        DecideCase{"service_policy_absent", SasSender::Service, std::nullopt, true, Outcome::PolicyMissing, true,
                   false},
        DecideCase{"service_zero", SasSender::Service, 0u, true, Outcome::PolicyMissing, true, false},
        DecideCase{"service_one", SasSender::Service, 1u, true, Outcome::Ok, true, true},
        DecideCase{"service_two", SasSender::Service, 2u, true, Outcome::PolicyMissing, true, false},
        DecideCase{"service_three", SasSender::Service, 3u, true, Outcome::Ok, true, true},
        DecideCase{"service_four", SasSender::Service, 4u, true, Outcome::PolicyMissing, true, false},
        DecideCase{"service_not_sent", SasSender::Service, 1u, false, Outcome::Unavailable, true, true},
        DecideCase{"ui_access_one", SasSender::Accessibility, 1u, true, Outcome::PolicyMissing, true, false},
        DecideCase{"ui_access_two", SasSender::Accessibility, 2u, true, Outcome::Ok, true, true},
        DecideCase{"ui_access_three", SasSender::Accessibility, 3u, true, Outcome::Ok, true, true},
        DecideCase{"ui_access_not_sent", SasSender::Accessibility, 2u, false, Outcome::Unavailable, true, true}),
    [](const auto& info) { return std::string(info.param.name); });

struct ResultCase {
    Outcome outcome;
    const char* json;
};

TEST(Sas, ResultJsonIsCompactCodeThenMessage) {
    const ResultCase cases[] = {
        {Outcome::Ok, R"j({"code":"sas_ok","message":"Ctrl+Alt+Del sent"})j"},
        {Outcome::PolicyMissing,
         R"j({"code":"sas_policy_missing","message":"Ctrl+Alt+Del needs setup on the PC: run this app as )j"
         R"j(administrator once and enable the SoftwareSASGeneration policy"})j"},
        {Outcome::NeedsAdmin,
         R"j({"code":"sas_needs_admin","message":"Ctrl+Alt+Del needs setup on the PC: run this app as )j"
         R"j(administrator once (SoftwareSASGeneration is enabled)"})j"},
        {Outcome::Unavailable,
         R"j({"code":"sas_unavailable","message":"Ctrl+Alt+Del is not available on this PC (install Hearthpad )j"
         R"j(with its Ctrl+Alt+Del helper)"})j"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(result_json(c.outcome), c.json);
        const auto parsed = nlohmann::json::parse(result_json(c.outcome));
        EXPECT_EQ(parsed.at("code"), outcome_code(c.outcome));
        EXPECT_EQ(parsed.at("message"), outcome_message(c.outcome));
    }
}

// The slot is process-wide; each test starts by emptying it.
class PendingSlot : public ::testing::Test {
protected:
    void SetUp() override { static_cast<void>(take_pending_result()); }
    void TearDown() override { static_cast<void>(take_pending_result()); }
};

TEST_F(PendingSlot, TakeReturnsTheResultOnceThenNothing) {
    ::testing::NiceMock<MockSasSystem> system;
    ON_CALL(system, sender()).WillByDefault(Return(SasSender::None));
    EXPECT_EQ(take_pending_result(), std::nullopt);
    send_secure_attention(system);
    EXPECT_EQ(take_pending_result(), result_json(Outcome::Unavailable));
    EXPECT_EQ(take_pending_result(), std::nullopt);
}

TEST_F(PendingSlot, LaterResultReplacesAnUnsentOne) {
    ::testing::NiceMock<MockSasSystem> denied;
    ON_CALL(denied, sender()).WillByDefault(Return(SasSender::Service));
    ON_CALL(denied, readPolicy()).WillByDefault(Return(0u));
    ::testing::NiceMock<MockSasSystem> granted;
    ON_CALL(granted, sender()).WillByDefault(Return(SasSender::Service));
    ON_CALL(granted, readPolicy()).WillByDefault(Return(1u));
    ON_CALL(granted, sendSas(SasSender::Service)).WillByDefault(Return(true));

    send_secure_attention(denied);
    send_secure_attention(granted);
    EXPECT_EQ(take_pending_result(), result_json(Outcome::Ok));
    EXPECT_EQ(take_pending_result(), std::nullopt);
}

}  // namespace
}  // namespace hp::sas
