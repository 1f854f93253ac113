// Files replaced whole through a temporary sibling, and capped reads.
#include "base/atomic_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "../foundation/scratch.h"

namespace hp {
namespace {

TEST(AtomicFile, WritesAndReplacesLeavingNoTemporary) {
    test::ScratchDir scratch;
    const auto target = scratch.path() / "paired_devices.json";
    const auto tmp = tmp_sibling(target);
    ASSERT_TRUE(write_file_atomically(target, tmp, as_bytes("first")));
    EXPECT_EQ(test::read_file(target), "first");
    ASSERT_TRUE(write_file_atomically(target, tmp, as_bytes("second, longer")));
    EXPECT_EQ(test::read_file(target), "second, longer");
    EXPECT_FALSE(std::filesystem::exists(tmp));
    // Private data: only the owner may read it.
    struct stat st {};
    ASSERT_EQ(::stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 077, 0u);
}

TEST(AtomicFile, TheCallerNamesTheTemporary) {
    test::ScratchDir scratch;
    const auto target = scratch.path() / "gamepad_mapping.json";
    const auto tmp = scratch.path() / "gamepad_mapping.json.tmp";
    ASSERT_TRUE(write_file_atomically(target, tmp, as_bytes("{}")));
    EXPECT_EQ(test::read_file(target), "{}");
    EXPECT_FALSE(std::filesystem::exists(tmp));
}

TEST(AtomicFile, AFailedReplacementKeepsTheOldFileAndRemovesTheTemporary) {
    test::ScratchDir scratch;
    // A non-empty folder where the file belongs cannot be replaced.
    const auto target = scratch.path() / "host_identity.bin";
    std::filesystem::create_directories(target / "occupied");
    const auto written = write_file_atomically(target, tmp_sibling(target), as_bytes("x"));
    ASSERT_FALSE(written);
    EXPECT_NE(written.error().text.find("host_identity.bin"), std::string::npos) << written.error().text;
    EXPECT_TRUE(std::filesystem::is_directory(target / "occupied"));
    EXPECT_FALSE(std::filesystem::exists(tmp_sibling(target)));

    // A temporary that cannot be created: nothing changes.
    const auto missing_dir = scratch.path() / "no" / "such" / "dir" / "file.json";
    EXPECT_FALSE(write_file_atomically(missing_dir, tmp_sibling(missing_dir), as_bytes("x")));
}

TEST(ReadFileCapped, TellsMissingFromTooLargeFromReadable) {
    test::ScratchDir scratch;
    const auto file = scratch.path() / "f";
    auto missing = read_file_capped(file, 10);
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.error().kind, FileReadError::Kind::Missing);

    test::write_file(file, "0123456789");
    auto exact = read_file_capped(file, 10);
    ASSERT_TRUE(exact);
    EXPECT_EQ(to_string(*exact), "0123456789");
    auto over = read_file_capped(file, 9);
    ASSERT_FALSE(over);
    EXPECT_EQ(over.error().kind, FileReadError::Kind::TooLarge);

    auto folder = read_file_capped(scratch.path(), 10);
    ASSERT_FALSE(folder);
    EXPECT_EQ(folder.error().kind, FileReadError::Kind::Failed);
}

TEST(TmpSibling, ReplacesTheExtension) {
    EXPECT_EQ(tmp_sibling("/d/host_identity.bin"), "/d/host_identity.tmp");
    EXPECT_EQ(tmp_sibling("/d/paired_devices.json"), "/d/paired_devices.tmp");
    EXPECT_EQ(tmp_sibling("/d/startup_prompted"), "/d/startup_prompted.tmp");
}

}  // namespace
}  // namespace hp
