#include "sas/sas.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <string>

namespace hp::sas {
namespace {

using ::testing::Return;

class MockSasSystem : public platform::SasSystem {
public:
    MOCK_METHOD(std::optional<std::uint32_t>, readPolicy, (), (override));
    MOCK_METHOD(bool, isElevated, (), (override));
    MOCK_METHOD(bool, sendSas, (), (override));
};

struct DecideCase {
    const char* name;
    std::optional<std::uint32_t> policy;
    bool elevated;
    bool library;
    Outcome expected;
    bool sends;  // whether the routine may try sas.dll
};

class Decide : public ::testing::TestWithParam<DecideCase> {};

TEST_P(Decide, FollowsPolicyThenElevationThenLibrary) {
    const auto& c = GetParam();
    ::testing::NiceMock<MockSasSystem> system;
    ON_CALL(system, readPolicy()).WillByDefault(Return(c.policy));
    ON_CALL(system, isElevated()).WillByDefault(Return(c.elevated));
    EXPECT_CALL(system, sendSas()).Times(c.sends ? 1 : 0).WillRepeatedly(Return(c.library));
    EXPECT_EQ(decide(system), c.expected);
}

// Only policy values 1 and 3 let services generate the sequence.
INSTANTIATE_TEST_SUITE_P(
    Sas, Decide,
    ::testing::Values(DecideCase{"absent", std::nullopt, true, true, Outcome::PolicyMissing, false},
                      DecideCase{"zero", 0u, true, true, Outcome::PolicyMissing, false},
                      DecideCase{"one_elevated", 1u, true, true, Outcome::Ok, true},
                      DecideCase{"two_elevated", 2u, true, true, Outcome::PolicyMissing, false},
                      DecideCase{"three_elevated", 3u, true, true, Outcome::Ok, true},
                      DecideCase{"four", 4u, true, true, Outcome::PolicyMissing, false},
                      DecideCase{"one_not_elevated", 1u, false, true, Outcome::NeedsAdmin, false},
                      DecideCase{"three_not_elevated", 3u, false, true, Outcome::NeedsAdmin, false},
                      DecideCase{"absent_not_elevated", std::nullopt, false, true, Outcome::PolicyMissing, false},
                      DecideCase{"one_no_library", 1u, true, false, Outcome::Unavailable, true},
                      DecideCase{"three_no_library", 3u, true, false, Outcome::Unavailable, true}),
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
         R"j({"code":"sas_unavailable","message":"Ctrl+Alt+Del is not available on this PC (sas.dll missing)"})j"},
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
    ON_CALL(system, readPolicy()).WillByDefault(Return(std::nullopt));
    EXPECT_EQ(take_pending_result(), std::nullopt);
    send_secure_attention(system);
    EXPECT_EQ(take_pending_result(), result_json(Outcome::PolicyMissing));
    EXPECT_EQ(take_pending_result(), std::nullopt);
}

TEST_F(PendingSlot, LaterResultReplacesAnUnsentOne) {
    ::testing::NiceMock<MockSasSystem> denied;
    ON_CALL(denied, readPolicy()).WillByDefault(Return(3u));
    ON_CALL(denied, isElevated()).WillByDefault(Return(false));
    ::testing::NiceMock<MockSasSystem> granted;
    ON_CALL(granted, readPolicy()).WillByDefault(Return(1u));
    ON_CALL(granted, isElevated()).WillByDefault(Return(true));
    ON_CALL(granted, sendSas()).WillByDefault(Return(true));

    send_secure_attention(denied);
    send_secure_attention(granted);
    EXPECT_EQ(take_pending_result(), result_json(Outcome::Ok));
    EXPECT_EQ(take_pending_result(), std::nullopt);
}

}  // namespace
}  // namespace hp::sas
