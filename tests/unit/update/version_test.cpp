// Release versions: what counts as one and how two compare.
#include "update/version.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace hp::update {
namespace {

TEST(RunningVersion, IsTheReleaseVersion) {
    EXPECT_EQ(running_version(), "0.2.0");
}

struct VersionCase {
    std::string text;
    std::optional<std::vector<std::uint32_t>> parts;
};

class ParseVersion : public ::testing::TestWithParam<VersionCase> {};

TEST_P(ParseVersion, GivesTheComponentsOrNothing) {
    EXPECT_EQ(parse_version(GetParam().text), GetParam().parts) << "\"" << GetParam().text << "\"";
}

INSTANTIATE_TEST_SUITE_P(
    Table, ParseVersion,
    ::testing::Values(VersionCase{"0.2.0", std::vector<std::uint32_t>{0, 2, 0}},
                      VersionCase{"3", std::vector<std::uint32_t>{3}},
                      VersionCase{"1.2.3.4", std::vector<std::uint32_t>{1, 2, 3, 4}},
                      VersionCase{"007.0", std::vector<std::uint32_t>{7, 0}},
                      VersionCase{"999999999.1", std::vector<std::uint32_t>{999999999, 1}},
                      // 40 bytes: four components of 9 digits and three dots is 39.
                      VersionCase{
                          "123456789.123456789.123456789.123456789",
                          std::vector<std::uint32_t>{123456789, 123456789, 123456789, 123456789}},
                      VersionCase{"1.2.3.4.5", std::nullopt}, VersionCase{"1..2", std::nullopt},
                      VersionCase{"v1.2", std::nullopt}, VersionCase{"1.2a", std::nullopt},
                      VersionCase{"", std::nullopt}, VersionCase{".1", std::nullopt},
                      VersionCase{"1.", std::nullopt}, VersionCase{" 1.2", std::nullopt},
                      VersionCase{"1.2 ", std::nullopt}, VersionCase{"+1.2", std::nullopt},
                      VersionCase{"-1.2", std::nullopt},
                      VersionCase{"1234567890.0", std::nullopt},  // ten digits
                      VersionCase{"1.\xd9\xa2", std::nullopt}));  // a non-ASCII digit

struct Comparison {
    std::string a, b;
    bool greater;
};

class VersionGreater : public ::testing::TestWithParam<Comparison> {};

TEST_P(VersionGreater, ComparesComponentByComponent) {
    const auto& c = GetParam();
    EXPECT_EQ(version_greater(c.a, c.b), c.greater) << c.a << " > " << c.b;
}

INSTANTIATE_TEST_SUITE_P(
    Table, VersionGreater,
    ::testing::Values(Comparison{"0.10.0", "0.9.9", true}, Comparison{"0.9.9", "0.10.0", false},
                      Comparison{"0.2.0", "0.2", false}, Comparison{"0.2", "0.2.0", false},
                      Comparison{"0.2.0.1", "0.2", true}, Comparison{"1", "0.999999999.9", true},
                      Comparison{"0.3.0", "0.2.9.9", true}, Comparison{"1.2", "1.2", false},
                      Comparison{"1.2a", "0.1", false}, Comparison{"9", "v1", false}));

TEST(IsNewer, OnlyAParsableVersionAboveTheRunningOne) {
    EXPECT_TRUE(is_newer("0.3.0"));
    EXPECT_TRUE(is_newer("0.2.0.1"));
    EXPECT_TRUE(is_newer("0.10"));
    EXPECT_FALSE(is_newer("0.2.0"));
    EXPECT_FALSE(is_newer("0.2"));
    EXPECT_FALSE(is_newer("0.1.9"));
    EXPECT_FALSE(is_newer("v0.3"));
    EXPECT_FALSE(is_newer("1.2.3.4.5"));
}

}  // namespace
}  // namespace hp::update
