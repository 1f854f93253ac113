#include "platform/brightness.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "base/command_line.h"

namespace hp::platform {
namespace {

std::string script_with_step(const char* step) {
    return std::string("$b=(Get-CimInstance -Namespace root/WMI -ClassName WmiMonitorBrightness | Select-Object "
                       "-First 1).CurrentBrightness;$n=[Math]::Min(100,[Math]::Max(0,$b+(") +
           step +
           ")));Get-CimInstance -Namespace root/WMI -ClassName WmiMonitorBrightnessMethods | ForEach-Object "
           "{ $_ | Invoke-CimMethod -MethodName WmiSetBrightness -Arguments @{Timeout=1;Brightness=$n} | "
           "Out-Null }";
}

TEST(Brightness, ScriptCarriesTheSignedStep) {
    EXPECT_EQ(brightness_script(true), script_with_step("10"));
    EXPECT_EQ(brightness_script(false), script_with_step("-10"));
}

TEST(Brightness, ArgumentsRunTheScriptHiddenAndNonInteractive) {
    for (const bool up : {true, false}) {
        const std::vector<std::string> expected{"-NoProfile", "-NonInteractive", "-WindowStyle",
                                                "Hidden",     "-Command",        brightness_script(up)};
        EXPECT_EQ(brightness_arguments(up), expected);
    }
    EXPECT_STREQ(kBrightnessProgram, "powershell.exe");
}

TEST(Brightness, CommandLineQuotesOnlyTheScript) {
    EXPECT_EQ(windows_command_line(kBrightnessProgram, brightness_arguments(true)),
              "powershell.exe -NoProfile -NonInteractive -WindowStyle Hidden -Command \"" + script_with_step("10") +
                  "\"");
}

struct QuoteCase {
    const char* arg;
    const char* quoted;
};

// Each quoted form reads back as the original under the C runtime's rules.
TEST(Brightness, QuotesArgumentsForTheWindowsParser) {
    const QuoteCase cases[] = {
        {"plain", "plain"},
        {"", R"("")"},
        {"two words", R"("two words")"},
        {"tab\there", "\"tab\there\""},
        {R"(say "hi")", R"("say \"hi\"")"},
        {R"(C:\dir\)", R"(C:\dir\)"},
        {R"(C:\my dir\)", R"("C:\my dir\\")"},
        {R"(a\\"b c)", R"("a\\\\\"b c")"},
        {R"(a\b c)", R"("a\b c")"},
    };
    for (const auto& c : cases) EXPECT_EQ(quote_windows_argument(c.arg), c.quoted) << c.arg;
}

// A runner whose steps block until the test lets them finish.
class GatedRunner {
public:
    void run(bool up) {
        std::unique_lock lock(mutex_);
        started_.push_back(up);
        changed_.notify_all();
        changed_.wait(lock, [&] { return released_ >= started_.size(); });
        ++finished_;
        changed_.notify_all();
    }
    void release_one() {
        std::lock_guard lock(mutex_);
        ++released_;
        changed_.notify_all();
    }
    bool wait_started(std::size_t n) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(5), [&] { return started_.size() >= n; });
    }
    bool wait_finished(std::size_t n) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(5), [&] { return finished_ >= n; });
    }
    std::vector<bool> started() {
        std::lock_guard lock(mutex_);
        return started_;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<bool> started_;
    std::size_t released_ = 0;
    std::size_t finished_ = 0;
};

TEST(BrightnessStepper, OneStepRunsOneWaitsTheRestAreDropped) {
    auto runner = std::make_shared<GatedRunner>();
    BrightnessStepper stepper([runner](bool up) { runner->run(up); });

    EXPECT_TRUE(stepper.request(true));
    ASSERT_TRUE(runner->wait_started(1));
    // A held key: many requests while the first step runs.
    EXPECT_TRUE(stepper.request(false));  // waits
    for (int i = 0; i < 50; ++i) EXPECT_FALSE(stepper.request(true)) << i;  // dropped

    runner->release_one();
    ASSERT_TRUE(runner->wait_started(2));
    EXPECT_EQ(runner->started(), (std::vector<bool>{true, false}));  // the waiting one kept its direction
    runner->release_one();
    ASSERT_TRUE(runner->wait_finished(2));

    // Idle again: the next request starts at once.
    EXPECT_TRUE(stepper.request(true));
    ASSERT_TRUE(runner->wait_started(3));
    runner->release_one();
    ASSERT_TRUE(runner->wait_finished(3));
    EXPECT_EQ(runner->started(), (std::vector<bool>{true, false, true}));
}

}  // namespace
}  // namespace hp::platform
