// "update_check.txt": reading rules, the written form, and when the
// automatic check is due.
#include "update/record.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>

#include "unit/foundation/scratch.h"

namespace hp::update {
namespace {

struct RecordCase {
    std::string label;
    std::string text;
    UpdateRecord expected;
};

class ReadRecord : public ::testing::TestWithParam<RecordCase> {};

TEST_P(ReadRecord, KeepsOnlyTheUsableLines) {
    EXPECT_EQ(parse_update_record(GetParam().text), GetParam().expected);
}

const UpdateRecord kNothing{};

INSTANTIATE_TEST_SUITE_P(
    Table, ReadRecord,
    ::testing::Values(RecordCase{"both", "1700000000\n0.3.0\n", {1700000000, "0.3.0"}},
                      RecordCase{"time_only", "1700000000\n\n", {1700000000, std::nullopt}},
                      RecordCase{"version_only", "\n0.3.0\n", {std::nullopt, "0.3.0"}},
                      RecordCase{"empty_file", "", kNothing},
                      RecordCase{"no_final_newline", "12\n0.3", {12, "0.3"}},
                      RecordCase{"one_line", "12", {12, std::nullopt}},
                      RecordCase{"leading_plus", "+1700000000\n0.3.0\n", {1700000000, "0.3.0"}},
                      RecordCase{"plus_alone", "+\n0.3.0\n", {std::nullopt, "0.3.0"}},
                      RecordCase{"two_pluses", "++5\n", kNothing},
                      RecordCase{"minus", "-5\n", kNothing},
                      RecordCase{"trimmed", " \t12\r\n  0.3.0 \r\n", {12, "0.3.0"}},
                      RecordCase{"unicode_space_trimmed",
                                 "\xc2\xa0"
                                 "12\xe3\x80\x80\n0.3\n",
                                 {12, "0.3"}},
                      RecordCase{"largest_time",
                                 "18446744073709551615\n",
                                 {std::numeric_limits<std::uint64_t>::max(), {}}},
                      RecordCase{
                          "time_overflows", "18446744073709551616\n0.3\n", {std::nullopt, "0.3"}},
                      RecordCase{"space_inside_time", "17 00\n0.3\n", {std::nullopt, "0.3"}},
                      RecordCase{"hex_time", "0x10\n", kNothing},
                      RecordCase{"garbage_lines", "yesterday\nthe new one\n", kNothing},
                      RecordCase{"bad_version", "12\nv0.3\n", {12, std::nullopt}},
                      RecordCase{"third_line_ignored", "12\n0.3\nanything\n", {12, "0.3"}},
                      RecordCase{"lines_swapped", "0.3.0\n1700000000\n", kNothing},
                      RecordCase{"not_utf8", "12\n0.3\n\xff", kNothing}),
    [](const auto& info) { return info.param.label; });

TEST(WriteRecord, TwoLinesEachEndedByANewline) {
    EXPECT_EQ(format_update_record({1700000000, "0.3.0"}), "1700000000\n0.3.0\n");
    EXPECT_EQ(format_update_record({1700000000, std::nullopt}), "1700000000\n\n");
    EXPECT_EQ(format_update_record({}), "\n\n");
}

TEST(RecordFile, MissingGivesNothingAndAWriteCreatesTheDirectory) {
    test::ScratchDir scratch;
    const auto dir = scratch.path() / "not" / "yet";
    EXPECT_EQ(read_update_record(dir), kNothing);

    write_update_record(dir, {1700000000, "0.3.0"});
    EXPECT_EQ(test::read_file(dir / "update_check.txt"), "1700000000\n0.3.0\n");
    EXPECT_EQ(read_update_record(dir), (UpdateRecord{1700000000, "0.3.0"}));
    EXPECT_FALSE(std::filesystem::exists(dir / "update_check.tmp"));
}

TEST(RecordFile, UnreadableOrOversizedCountsAsNeverChecked) {
    test::ScratchDir scratch;
    std::filesystem::create_directory(scratch.path() /
                                      "update_check.txt");  // a directory, not a file
    EXPECT_EQ(read_update_record(scratch.path()), kNothing);

    test::ScratchDir other;
    test::write_file(other.path() / "update_check.txt", "12\n0.3\n" + std::string(8192, ' '));
    EXPECT_EQ(read_update_record(other.path()), kNothing);
}

TEST(RecordFile, AFailedWriteIsIgnored) {
    test::ScratchDir scratch;
    test::write_file(scratch.path() / "file", "x");
    write_update_record(scratch.path() / "file", {1, "0.3"});  // no directory can be made there
    EXPECT_EQ(test::read_file(scratch.path() / "file"), "x");
}

struct DueCase {
    std::string label;
    UpdateRecord record;
    std::uint64_t now;
    bool due;
};

class CheckDue : public ::testing::TestWithParam<DueCase> {};

TEST_P(CheckDue, AfterAWeekOrWhenTheLastCheckIsUnknownOrInTheFuture) {
    EXPECT_EQ(is_check_due(GetParam().record, GetParam().now), GetParam().due);
}

constexpr std::uint64_t kNow = 1'700'000'000;

INSTANTIATE_TEST_SUITE_P(
    Table, CheckDue,
    ::testing::Values(
        DueCase{"never_checked", {}, kNow, true}, DueCase{"just_now", {kNow, {}}, kNow, false},
        DueCase{"almost_a_week", {kNow - 604799, {}}, kNow, false},
        DueCase{"a_week", {kNow - 604800, {}}, kNow, true},
        DueCase{"long_ago", {0, {}}, kNow, true},
        DueCase{"one_second_ahead", {kNow + 1, {}}, kNow, true},
        DueCase{"far_future", {std::numeric_limits<std::uint64_t>::max(), {}}, kNow, true}),
    [](const auto& info) { return info.param.label; });

}  // namespace
}  // namespace hp::update
