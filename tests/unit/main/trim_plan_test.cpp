// When the working set is trimmed: 5 s after start, 30 s after the last
// session ended unless a connection was admitted meanwhile; one at a time.
#include "main/idle_timers.h"

#include <gtest/gtest.h>

namespace hp::main {
namespace {

using namespace std::chrono_literals;
using V = TrimPlan::Verdict;

struct Step {
    enum Kind { Start, LastSessionEnded, Check } kind;
    std::chrono::milliseconds at;
    std::uint64_t activity;
    V expected = V::Wait;  // for checks
};

struct Case {
    const char* name;
    std::vector<Step> steps;
};

class TrimPlanTable : public ::testing::TestWithParam<Case> {};

TEST_P(TrimPlanTable, Decides) {
    TrimPlan plan;
    const Instant t0{};
    for (const Step& s : GetParam().steps) {
        switch (s.kind) {
            case Step::Start: plan.started(t0 + s.at); break;
            case Step::LastSessionEnded: plan.last_session_ended(t0 + s.at, s.activity); break;
            case Step::Check:
                EXPECT_EQ(plan.check(t0 + s.at, s.activity), s.expected) << "at " << s.at.count() << " ms";
                break;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, TrimPlanTable,
    ::testing::Values(
        Case{"FiveSecondsAfterStart",
             {{Step::Start, 0ms, 0}, {Step::Check, 4999ms, 0, V::Wait}, {Step::Check, 5000ms, 0, V::Trim},
              {Step::Check, 9000ms, 0, V::Wait}}},
        Case{"StartIsTrimmedWhateverConnectionsCame",
             {{Step::Start, 0ms, 0}, {Step::Check, 5000ms, 7, V::Trim}}},
        Case{"ThirtySecondsAfterTheLastSession",
             {{Step::LastSessionEnded, 1000ms, 3}, {Step::Check, 30999ms, 3, V::Wait},
              {Step::Check, 31000ms, 3, V::Trim}}},
        Case{"AConnectionWithinThirtySecondsCancels",
             {{Step::LastSessionEnded, 1000ms, 3}, {Step::Check, 31000ms, 4, V::Skip},
              {Step::Check, 60000ms, 4, V::Wait}}},
        Case{"ALaterSessionEndReplacesThePendingTrim",
             {{Step::Start, 0ms, 0}, {Step::LastSessionEnded, 2000ms, 1}, {Step::Check, 5000ms, 1, V::Wait},
              {Step::Check, 32000ms, 1, V::Trim}}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace hp::main
