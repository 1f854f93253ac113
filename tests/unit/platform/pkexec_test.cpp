// Running a program as root through pkexec: the command line pkexec gets,
// and its own exit codes told apart from the program's.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "platform/fake/fake_process_runner.h"
#include "platform/posix/posix_system.h"

namespace hp::platform {
namespace {

TEST(Pkexec, RunsTheProgramByItsFullPathAndReadsTheAnswer) {
    struct Case {
        int exitCode;
        bool declined;
    };
    for (const Case c : {Case{0, false}, Case{4, false}, Case{126, true}, Case{127, true}}) {
        SCOPED_TRACE(c.exitCode);
        auto runner = std::make_shared<fake::FakeProcessRunner>();
        runner->push(ProcessOutcome{c.exitCode, "", false});
        const auto outcome = make_pkexec_runner(runner)->run_elevated_and_wait("/usr/bin/hearthpad",
                                                                               {"--allow-firewall"}, 0);
        ASSERT_TRUE(outcome) << outcome.error().text;
        EXPECT_EQ(outcome->declined, c.declined);
        if (!c.declined) {
            EXPECT_EQ(outcome->exitCode, static_cast<std::uint32_t>(c.exitCode));
        }
        const auto requests = runner->requests();
        ASSERT_EQ(requests.size(), 1u);
        EXPECT_EQ(requests[0].program, "/usr/bin/pkexec");
        EXPECT_EQ(requests[0].args, (std::vector<std::string>{"/usr/bin/hearthpad", "--allow-firewall"}));
    }
}

TEST(Pkexec, FailsWithoutPkexecOrAFullPath) {
    auto runner = std::make_shared<fake::FakeProcessRunner>();  // no answer: pkexec cannot be started
    const auto elevated = make_pkexec_runner(runner);
    EXPECT_FALSE(elevated->run_elevated_and_wait("/usr/bin/hearthpad", {"--allow-firewall"}, 0));
    EXPECT_FALSE(elevated->run_elevated_and_wait("hearthpad", {"--allow-firewall"}, 0));
    EXPECT_EQ(runner->requests().size(), 1u);  // a bare name is never handed to pkexec
}

TEST(Pkexec, TheRealRunnerLocatesOnlyRunnableFullPaths) {
    const auto runner = make_process_runner();
    const auto locate = [&](const char* program) {
        ProcessRequest request;
        request.program = program;
        return runner->locate(request);
    };
    EXPECT_EQ(locate("/bin/sh"), "/bin/sh");
    EXPECT_EQ(locate("/nonexistent/firewall-cmd"), std::nullopt);
    // A file that is there but is no program.
    const auto plain = std::filesystem::temp_directory_path() / ("hp_locate_" + std::to_string(::getpid()));
    { std::ofstream(plain) << "not a program\n"; }
    std::filesystem::permissions(plain, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    EXPECT_EQ(locate(plain.c_str()), std::nullopt);
    std::filesystem::remove(plain);
    EXPECT_EQ(locate("sh"), "sh");                     // searched when run
}

}  // namespace
}  // namespace hp::platform
