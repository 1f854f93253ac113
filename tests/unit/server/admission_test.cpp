// Limits before trust: unauthenticated connections per source and in total,
// who is evicted, and the handshake rate.
#include "server/admission.h"

#include <gtest/gtest.h>

namespace hp::server {
namespace {

using namespace std::chrono_literals;

IpAddress ip(const char* text) { return *IpAddress::parse(text); }

struct Closed {
    std::vector<std::string> names;
    Admission::Closer closer(std::string name) {
        return [this, name] { names.push_back(name); };
    }
};

TEST(Admission, EachSourceHoldsAtMostItsLimit) {
    Admission a(AdmissionLimits{.perSource = 3, .total = 64});
    Closed closed;
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(a.admit(ip("192.168.1.50"), closed.closer("x")));
    EXPECT_FALSE(a.admit(ip("192.168.1.50"), closed.closer("x"))) << "the fourth from one source";
    EXPECT_TRUE(a.admit(ip("192.168.1.51"), closed.closer("y"))) << "another source is not affected";
    // IPv6 sources count by their /64.
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(a.admit(ip(("fd00:1:2:3::" + std::to_string(i + 1)).c_str()), nullptr));
    EXPECT_FALSE(a.admit(ip("fd00:1:2:3:ffff::9"), nullptr));
    EXPECT_TRUE(a.admit(ip("fd00:1:2:4::1"), nullptr));
    EXPECT_TRUE(closed.names.empty());
}

TEST(Admission, AtTheTotalTheBusiestSourcesOldestGoesFirst) {
    Admission a(AdmissionLimits{.perSource = 8, .total = 6});
    Closed closed;
    auto phone = a.admit(ip("192.168.1.20"), closed.closer("phone"));
    ASSERT_TRUE(phone);
    for (int i = 0; i < 5; ++i) ASSERT_TRUE(a.admit(ip("10.0.0.66"), closed.closer("flood" + std::to_string(i))));
    // Full: the next one evicts the flood's oldest, never the phone.
    auto next = a.admit(ip("10.0.0.77"), closed.closer("other"));
    ASSERT_TRUE(next);
    ASSERT_EQ(next->evicted.size(), 1u);
    next->evicted[0]();
    EXPECT_EQ(closed.names, (std::vector<std::string>{"flood0"}));
    EXPECT_EQ(a.unauthenticated(), 6u);

    // An established connection no longer counts; a second release is harmless.
    a.release(phone->id);
    a.release(phone->id);
    EXPECT_EQ(a.unauthenticated(), 5u);

    // Out of descriptors: the same rule picks the next victim.
    auto victim = a.evict_one();
    ASSERT_TRUE(victim);
    (*victim)();
    EXPECT_EQ(closed.names.back(), "flood1");
}

TEST(Admission, HandshakesAreRateLimitedPerSource) {
    Admission a(AdmissionLimits{.handshakesPerSecond = 10, .handshakeBurst = 20});
    const Instant t0{};
    int allowed = 0;
    for (int i = 0; i < 100; ++i) allowed += a.allow_handshake(ip("10.0.0.66"), t0);
    EXPECT_EQ(allowed, 20) << "the burst";
    EXPECT_TRUE(a.allow_handshake(ip("10.0.0.67"), t0)) << "another source has its own bucket";
    EXPECT_FALSE(a.allow_handshake(ip("10.0.0.66"), t0 + 50ms));
    EXPECT_TRUE(a.allow_handshake(ip("10.0.0.66"), t0 + 100ms)) << "one token per 100 ms";
    allowed = 0;
    for (int i = 0; i < 100; ++i) allowed += a.allow_handshake(ip("10.0.0.66"), t0 + 10s);
    EXPECT_EQ(allowed, 20) << "refilled to the burst, not beyond";
}

}  // namespace
}  // namespace hp::server
