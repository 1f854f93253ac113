// Start at login: the Run value's exact comparison and writing, the task's
// cached answer, the toggle with its schtasks.exe arguments and the
// elevated fallback, and the texts of the first-start question.
#include <gtest/gtest.h>

#include "platform/fake/fake_process_runner.h"
#include "platform/fake/fake_user_registry.h"
#include "platform/fake/recording_shell_launcher.h"
#include "startup/start_at_login.h"

namespace hp::startup {
namespace {

using namespace std::chrono_literals;

constexpr char kExe[] = "C:\\Program Files\\Hearthpad\\app.exe";
constexpr char kCommand[] = "\"C:\\Program Files\\Hearthpad\\app.exe\" --background";

TEST(LaunchCommand, QuotedPathThenBackground) {
    EXPECT_EQ(launch_command(kExe), kCommand);
    EXPECT_EQ(launch_command(""), "\"\" --background");
}

TEST(RunValue, OnlyTheExactCommandCounts) {
    const std::u16string kCommand16 = u"\"C:\\Program Files\\Hearthpad\\app.exe\" --background";
    struct Case {
        std::u16string units;
        bool matches;
    };
    const Case cases[] = {
        {u"\"C:\\Program Files\\Hearthpad\\app.exe\" --background", true},
        {kCommand16 + std::u16string(2, u'\0'), true},
        {u"\"C:\\Program Files\\Hearthpad\\app.exe\"", false},
        {u"\"c:\\program files\\hearthpad\\app.exe\" --background", false},
        {u"\"D:\\Hearthpad\\app.exe\" --background", false},
        {u"\"C:\\Program Files\\Hearthpad\\app.exe\" --background ", false},
        {kCommand16 + std::u16string(1, u'\0') + u"x", false},
        {u"", false},
    };
    for (const auto& c : cases) EXPECT_EQ(run_value_matches(c.units, kCommand), c.matches);
    // An unpaired surrogate is replaced, so it never matches by accident.
    EXPECT_FALSE(run_value_matches(std::u16string(1, char16_t(0xD800)), "\xEF\xBF\xBD?"));
    EXPECT_TRUE(run_value_matches(std::u16string(1, char16_t(0xD800)), "\xEF\xBF\xBD"));
}

TEST(ElevatedParameters, TheCreateTextForAPathWithSpacesByteForByte) {
    EXPECT_EQ(elevated_parameters(create_task_arguments(launch_command(kExe))),
              "/Create /TN HearthpadHost /TR \"\\\"C:\\Program Files\\Hearthpad\\app.exe\\\" --background\" "
              "/SC ONLOGON /RL HIGHEST /F");
    EXPECT_EQ(elevated_parameters(delete_task_arguments()), "/Delete /TN HearthpadHost /F");
    // Only spaces and quotes call for quoting; backslashes stay single.
    EXPECT_EQ(elevated_parameters({"a\\b", "x\"y", "p q\\"}), "a\\b \"x\\\"y\" \"p q\\\"");
}

struct Rig {
    std::shared_ptr<fake::FakeUserRegistry> registry = std::make_shared<fake::FakeUserRegistry>();
    std::shared_ptr<fake::FakeProcessRunner> runner = std::make_shared<fake::FakeProcessRunner>();
    std::shared_ptr<fake::RecordingShellLauncher> shell = std::make_shared<fake::RecordingShellLauncher>();
    Instant now = Instant(1000s);
    StartAtLogin startup{{registry, runner, shell, kExe, [this] { return now; }}};

    void answer(int exitCode) { runner->push(platform::ProcessOutcome{exitCode, {}, false}); }
    std::vector<std::vector<std::string>> schtasks_calls() const {
        std::vector<std::vector<std::string>> out;
        for (const auto& r : runner->requests()) {
            EXPECT_EQ(r.program, "schtasks.exe");
            out.push_back(r.args);
        }
        return out;
    }
};

TEST(StartEntry, WritesTheExactCommandWithItsNulAndReadsItBack) {
    Rig rig;
    EXPECT_FALSE(rig.startup.start_entry_enabled());
    ASSERT_TRUE(rig.startup.set_start_entry(true));
    const auto stored = rig.registry->units(kRunKey, kRunValueName);
    ASSERT_TRUE(stored);
    std::u16string expected = u"\"C:\\Program Files\\Hearthpad\\app.exe\" --background";
    expected.push_back(u'\0');
    EXPECT_EQ(*stored, expected);
    EXPECT_TRUE(rig.startup.start_entry_enabled());
    ASSERT_TRUE(rig.startup.set_start_entry(false));
    EXPECT_FALSE(rig.registry->units(kRunKey, kRunValueName));
    EXPECT_FALSE(rig.startup.start_entry_enabled());
    // Deleting what is not there succeeds.
    EXPECT_TRUE(rig.startup.set_start_entry(false));
}

TEST(StartEntry, AValueWithoutTheArgumentOrInOtherCaseIsNotSetAndIsReplacedExactly) {
    for (const std::u16string old : {u"\"C:\\Program Files\\Hearthpad\\app.exe\"",
                                     u"\"C:\\PROGRAM FILES\\Hearthpad\\app.exe\" --background"}) {
        Rig rig;
        rig.registry->put_units(kRunKey, kRunValueName, old);
        EXPECT_FALSE(rig.startup.start_entry_enabled());
        ASSERT_TRUE(rig.startup.set_start_entry(true));
        EXPECT_TRUE(rig.startup.start_entry_enabled());
    }
}

TEST(StartEntry, AValueLongerThanTheBufferIsNotSet) {
    Rig rig;
    rig.registry->put_units(kRunKey, kRunValueName, std::u16string(1025, u'x'));
    EXPECT_FALSE(rig.startup.start_entry_enabled());
}

TEST(StartEntry, AKeyThatCannotBeWrittenChangesNothing) {
    Rig rig;
    rig.registry->refuse_writes(kRunKey);
    EXPECT_FALSE(rig.startup.set_start_entry(true));
    EXPECT_FALSE(rig.startup.set_start_entry(false));
    EXPECT_FALSE(rig.registry->units(kRunKey, kRunValueName));
}

TEST(ElevatedTask, AnsweredBySchtasksAndKeptForAMinute) {
    Rig rig;
    rig.answer(0);
    EXPECT_TRUE(rig.startup.elevated_task_exists());
    rig.now += 59s;
    EXPECT_TRUE(rig.startup.elevated_task_exists());
    EXPECT_EQ(rig.schtasks_calls().size(), 1u);
    rig.now += 1s;
    rig.answer(1);
    EXPECT_FALSE(rig.startup.elevated_task_exists());
    EXPECT_EQ(rig.schtasks_calls(),
              (std::vector<std::vector<std::string>>{{"/Query", "/TN", "HearthpadHost"},
                                                     {"/Query", "/TN", "HearthpadHost"}}));
    // schtasks.exe missing: no task.
    rig.now += 60s;
    EXPECT_FALSE(rig.startup.elevated_task_exists());
}

TEST(ElevatedTask, CreatingWithRightsNeedsNoPromptAndShowsTheNewStateAtOnce) {
    Rig rig;
    rig.answer(0);  // /Create succeeds
    rig.startup.toggle_elevated_task(false);
    EXPECT_EQ(rig.schtasks_calls(),
              (std::vector<std::vector<std::string>>{{"/Create", "/TN", "HearthpadHost", "/TR", kCommand, "/SC",
                                                      "ONLOGON", "/RL", "HIGHEST", "/F"}}));
    EXPECT_TRUE(rig.shell->calls().empty());
    EXPECT_TRUE(rig.startup.elevated_task_exists());  // from the cache
    EXPECT_EQ(rig.runner->requests().size(), 1u);
}

TEST(ElevatedTask, WithoutRightsTheSameArgumentsGoThroughTheElevationPromptAndTheAnswerExpiresIn5s) {
    Rig rig;
    rig.answer(1);  // /Delete refused
    rig.startup.toggle_elevated_task(true);
    EXPECT_EQ(rig.schtasks_calls(),
              (std::vector<std::vector<std::string>>{{"/Delete", "/TN", "HearthpadHost", "/F"}}));
    EXPECT_EQ(rig.shell->calls(),
              (std::vector<fake::RecordingShellLauncher::Call>{{"schtasks.exe", "/Delete /TN HearthpadHost /F"}}));
    EXPECT_FALSE(rig.startup.elevated_task_exists());
    rig.now += 4s;
    EXPECT_FALSE(rig.startup.elevated_task_exists());
    EXPECT_EQ(rig.runner->requests().size(), 1u);
    // The prompt was refused: 5 s later the real state comes back.
    rig.now += 1s;
    rig.answer(0);
    EXPECT_TRUE(rig.startup.elevated_task_exists());
}

TEST(ElevatedTask, AClockYoungerThan55SecondsLeavesNoAnswerKept) {
    Rig rig;
    rig.now = Instant(30s);
    rig.startup.toggle_elevated_task(false);  // no answer queued: schtasks.exe "missing"
    ASSERT_EQ(rig.shell->calls().size(), 1u);
    EXPECT_EQ(rig.shell->calls()[0].parameters,
              "/Create /TN HearthpadHost /TR \"\\\"C:\\Program Files\\Hearthpad\\app.exe\\\" --background\" "
              "/SC ONLOGON /RL HIGHEST /F");
    rig.answer(0);
    EXPECT_TRUE(rig.startup.elevated_task_exists());
    EXPECT_EQ(rig.runner->requests().size(), 2u);  // asked again at once
}

TEST(LoginQuestion, ProgramNameIsTheStemOrThisApp) {
    struct Case {
        std::u16string file;
        const char* name;
    };
    const Case cases[] = {
        {u"C:\\Program Files\\Hearthpad\\hearthpad.exe", "hearthpad"},
        {u"C:\\x\\Hearthpad Host.v2.exe", "Hearthpad Host.v2"},
        {u"C:\\x\\hearthpad", "hearthpad"},
        {u"C:\\x\\h\u00e9arth.exe", "h\xC3\xA9" "arth"},
        {u"C:\\x\\.exe", "This app"},
        {u"C:\\x\\..", "This app"},
        {u"", "This app"},
        {u"C:\\x\\", "This app"},
        {std::u16string(u"C:\\x\\a") + char16_t(0xDC00) + u".exe", "This app"},
        {std::u16string(u"C:\\x\\a") + char16_t(0xD83C) + char16_t(0xDFAE) + u".exe", "a\xF0\x9F\x8E\xAE"},
    };
    for (const auto& c : cases) EXPECT_EQ(program_name(c.file), c.name);
}

TEST(LoginQuestion, Texts) {
    EXPECT_EQ(login_question_text("hearthpad"),
              "Start hearthpad when you log in to Windows?\n\nYou can change this later from the tray menu.");
    EXPECT_EQ(login_failure_text("hearthpad"),
              "hearthpad could not be set to start at login (the registry entry could not be written). You can "
              "try again from the tray menu.");
}

}  // namespace
}  // namespace hp::startup
