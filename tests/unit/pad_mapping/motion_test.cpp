// The motion step: dt after a start and between steps, the 0.05 s cap,
// remainders, wheel notches and sleeping when nothing moves.
#include <gtest/gtest.h>

#include <chrono>

#include "pad_mapping/motion.h"
#include "recording_output.h"

namespace hp::pad_mapping {
namespace {

using namespace std::chrono_literals;
using testing::RecordingOutput;
using Lines = std::vector<std::string>;

TEST(Motion, FirstStepUses8MsThenTheTimeSinceTheLastCappedAt50Ms) {
    MotionState motion;
    RecordingOutput out;
    EXPECT_TRUE(motion.setVelocities({1000, -500, 0, 0}));
    Instant t{};
    motion.step(t, out);  // 8 ms: 8, -4
    motion.step(t + 2ms, out);  // 2, -1
    motion.step(t + 1s, out);  // capped at 50 ms: 50, -25
    EXPECT_EQ(out.take(), (Lines{"move 8 -4", "move 2 -1", "move 50 -25"}));
}

TEST(Motion, FractionsCarryOverAndTruncateTowardZero) {
    MotionState motion;
    RecordingOutput out;
    motion.setVelocities({-100, 50, 0, 0});  // -0.8 and 0.4 px per 8 ms
    Instant t{};
    for (int i = 0; i < 5; ++i, t += 8ms) motion.step(t, out);
    EXPECT_EQ(out.take(), (Lines{"move -1 0", "move -1 1", "move -1 0", "move -1 1"}));
    EXPECT_NEAR(motion.remainders()[0], 0.0, 1e-9);
    EXPECT_NEAR(motion.remainders()[1], 0.0, 1e-9);
}

TEST(Motion, ScrollSendsWholeNotchesVerticalFirst) {
    MotionState motion;
    RecordingOutput out;
    motion.setVelocities({0, 0, -40, 60});  // per 50 ms: -2 and 3 notches
    Instant t{};
    motion.step(t, out);
    motion.step(t + 50ms, out);
    EXPECT_EQ(out.take(), (Lines{"wheel 360", "hwheel -240"}));
}

TEST(Motion, StartsOnceAndSleepsWhenAllVelocitiesAreZero) {
    MotionState motion;
    RecordingOutput out;
    EXPECT_FALSE(motion.running());
    EXPECT_TRUE(motion.setVelocities({10, 0, 0, 0}));
    EXPECT_FALSE(motion.setVelocities({20, 0, 0, 0}));  // already running: no wake-up
    Instant t{};
    motion.step(t, out);
    EXPECT_GT(motion.remainders()[0], 0.0);

    EXPECT_FALSE(motion.setVelocities({}));
    EXPECT_FALSE(motion.running());
    EXPECT_EQ(motion.remainders()[0], 0.0);
    EXPECT_FALSE(motion.step(t + 8ms, out));

    // A restart forgets the last tick: the first step is 8 ms again.
    EXPECT_TRUE(motion.setVelocities({1000, 0, 0, 0}));
    motion.step(t + 10s, out);
    EXPECT_EQ(out.take(), Lines{"move 8 0"});
}

}  // namespace
}  // namespace hp::pad_mapping
