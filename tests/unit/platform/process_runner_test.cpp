// The process runner over real programs: output, exit code, empty standard
// input, the output bound and the time limit.
#include <gtest/gtest.h>

#include <chrono>

#include "base/command_line.h"
#include "platform/process_runner.h"

namespace hp::platform {
namespace {

using namespace std::chrono_literals;

Result<ProcessOutcome> run(std::string program, std::vector<std::string> args,
                           std::chrono::milliseconds limit = 10s, std::size_t output_limit = 1 << 20) {
    ProcessRequest r;
    r.program = std::move(program);
    r.args = std::move(args);
    r.timeLimit = limit;
    r.outputLimit = output_limit;
    return make_process_runner()->run(r);
}

TEST(ProcessRunner, CollectsStandardOutputAndExitCode) {
    auto r = run("sh", {"-c", "printf 'out \"quoted\" text'; echo err >&2; exit 3"});
    ASSERT_TRUE(r) << r.error().text;
    EXPECT_EQ(r->output, "out \"quoted\" text");  // standard error is not mixed in
    EXPECT_EQ(r->exitCode, 3);
    EXPECT_FALSE(r->truncated);

    r = run("echo", {"a b", "", "c"});  // found on the search path; arguments kept apart
    ASSERT_TRUE(r);
    EXPECT_EQ(r->output, "a b  c\n");
    EXPECT_EQ(r->exitCode, 0);
}

TEST(ProcessRunner, StandardInputIsEmpty) {
    auto r = run("cat", {}, 5s);  // would wait for input forever if it had any
    ASSERT_TRUE(r) << r.error().text;
    EXPECT_EQ(r->output, "");
    EXPECT_EQ(r->exitCode, 0);
}

TEST(ProcessRunner, OutputBeyondTheBoundIsDropped) {
    auto r = run("sh", {"-c", "head -c 100000 /dev/zero"}, 10s, 1000);
    ASSERT_TRUE(r) << r.error().text;
    EXPECT_EQ(r->output.size(), 1000u);
    EXPECT_TRUE(r->truncated);
    EXPECT_EQ(r->exitCode, 0);  // the program was read to its end, not blocked on a full pipe
}

TEST(ProcessRunner, ProgramsPastTheirTimeLimitAreEnded) {
    const auto started = std::chrono::steady_clock::now();
    auto r = run("sleep", {"30"}, 300ms);
    EXPECT_FALSE(r);
    EXPECT_LT(std::chrono::steady_clock::now() - started, 20s);
    // Also when the program keeps its output open but says nothing more.
    r = run("sh", {"-c", "echo started; exec sleep 30"}, 300ms);
    EXPECT_FALSE(r);
}

TEST(ProcessRunner, MissingProgramCannotStart) {
    auto r = run("hearthpad-no-such-program", {"status"});
    ASSERT_FALSE(r);
    EXPECT_NE(r.error().text.find("hearthpad-no-such-program"), std::string::npos);
}

// Windows programs split their command line themselves; the quoting must
// give each argument back unchanged (checked against CommandLineToArgvW in
// the Windows tests).
TEST(WindowsCommandLine, QuotesOnlyWhatNeedsIt) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"--json", "--json"},
        {"", "\"\""},
        {"a b", "\"a b\""},
        {"a\"b", "\"a\\\"b\""},
        {"C:\\my dir\\", "\"C:\\my dir\\\\\""},
        {"C:\\dir\\x", "C:\\dir\\x"},
        {"a\\\"b", "\"a\\\\\\\"b\""},
        {"tab\there", "\"tab\there\""},
    };
    for (const auto& [arg, quoted] : cases) EXPECT_EQ(hp::quote_windows_argument(arg), quoted) << arg;
    EXPECT_EQ(hp::windows_command_line("tailscale", {"status", "--json"}), "tailscale status --json");
}

}  // namespace
}  // namespace hp::platform
