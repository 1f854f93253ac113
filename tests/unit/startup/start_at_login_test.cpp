// Start at login: the Run value's exact comparison and writing, the task's
// cached answer, its XML definition, the toggle with its schtasks.exe
// arguments and the elevated fallback, and the texts of the first-start
// question.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <mutex>

#include "platform/elevation.h"
#include "platform/fake/fake_process_runner.h"
#include "platform/fake/fake_user_registry.h"
#include "startup/start_at_login.h"

namespace hp::startup {
namespace {

using namespace std::chrono_literals;
using namespace std::string_literals;

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

constexpr char kSid[] = "S-1-5-21-1004336348-1177238915-682003330-1001";
constexpr char kOtherSid[] = "S-1-5-21-1004336348-1177238915-682003330-1002";
// The rig's user's own task, and the name every user shared before.
constexpr char kOwnTask[] = "HearthpadHost-S-1-5-21-1004336348-1177238915-682003330-1001";
constexpr char kShared[] = "HearthpadHost";

std::string crlf_lines(std::initializer_list<const char*> lines) {
    std::string out;
    for (const char* line : lines) out += std::string(line) + "\r\n";
    return out;
}

TEST(TaskDefinition, ByteForByte) {
    EXPECT_EQ(task_definition_xml(kExe, kSid),
              crlf_lines({
                  R"(<?xml version="1.0" encoding="UTF-16"?>)",
                  R"(<Task version="1.2" xmlns="http://schemas.microsoft.com/windows/2004/02/mit/task">)",
                  "  <Triggers>",
                  "    <LogonTrigger>",
                  "      <Enabled>true</Enabled>",
                  "      <UserId>S-1-5-21-1004336348-1177238915-682003330-1001</UserId>",
                  "    </LogonTrigger>",
                  "  </Triggers>",
                  "  <Principals>",
                  R"(    <Principal id="Author">)",
                  "      <UserId>S-1-5-21-1004336348-1177238915-682003330-1001</UserId>",
                  "      <LogonType>InteractiveToken</LogonType>",
                  "      <RunLevel>HighestAvailable</RunLevel>",
                  "    </Principal>",
                  "  </Principals>",
                  "  <Settings>",
                  "    <MultipleInstancesPolicy>IgnoreNew</MultipleInstancesPolicy>",
                  "    <DisallowStartIfOnBatteries>false</DisallowStartIfOnBatteries>",
                  "    <StopIfGoingOnBatteries>false</StopIfGoingOnBatteries>",
                  "    <ExecutionTimeLimit>PT0S</ExecutionTimeLimit>",
                  "    <Priority>5</Priority>",
                  "  </Settings>",
                  R"(  <Actions Context="Author">)",
                  "    <Exec>",
                  R"(      <Command>C:\Program Files\Hearthpad\app.exe</Command>)",
                  "      <Arguments>--background</Arguments>",
                  "    </Exec>",
                  "  </Actions>",
                  "</Task>",
              }));
}

// Each user's logon starts only that user's task.
TEST(TaskDefinition, TheLogonTriggerNamesTheUser) {
    for (const std::string sid : {kSid, "S-1-5-21-1004336348-1177238915-682003330-1002"}) {
        const std::string xml = task_definition_xml(kExe, sid);
        const auto begin = xml.find("<LogonTrigger>");
        const auto end = xml.find("</LogonTrigger>");
        ASSERT_LT(begin, end);
        EXPECT_NE(xml.substr(begin, end - begin).find("      <UserId>" + sid + "</UserId>\r\n"), std::string::npos)
            << sid;
    }
}

TEST(TaskDefinition, WithoutAKnownUserThePrincipalNamesNone) {
    const std::string xml = task_definition_xml(kExe, "");
    EXPECT_EQ(xml.find("<UserId>"), std::string::npos);  // neither in the trigger nor the principal
    EXPECT_NE(xml.find("    <Principal id=\"Author\">\r\n      <LogonType>InteractiveToken</LogonType>\r\n"),
              std::string::npos);
}

TEST(TaskDefinition, TheCommandIsEscaped) {
    EXPECT_EQ(xml_escape(R"(a&b<c>d"e'f)"), "a&amp;b&lt;c&gt;d&quot;e'f");
    const std::string xml = task_definition_xml(R"(C:\R&D <"x">\app.exe)", kSid);
    EXPECT_NE(xml.find("      <Command>C:\\R&amp;D &lt;&quot;x&quot;&gt;\\app.exe</Command>\r\n"
                       "      <Arguments>--background</Arguments>\r\n"),
              std::string::npos);
}

TEST(TaskDefinition, TheFileIsUtf16LittleEndianAfterAByteOrderMark) {
    const std::string exe = "C:\\Caf\xC3\xA9\\app.exe";  // é: one UTF-16 unit, E9 00
    const Bytes file = task_definition_file(exe, kSid);
    const std::string xml = task_definition_xml(exe, kSid);
    ASSERT_EQ(file.size(), 2 + 2 * (xml.size() - 1));  // é is two UTF-8 bytes, one unit
    EXPECT_EQ(Bytes(file.begin(), file.begin() + 6), (Bytes{0xFF, 0xFE, '<', 0x00, '?', 0x00}));
    const std::string cafe = "C\0a\0f\0\xE9\0\\\0"s;
    EXPECT_NE(std::string(file.begin(), file.end()).find(cafe), std::string::npos);
    EXPECT_EQ(Bytes(file.end() - 4, file.end()), (Bytes{'\r', 0x00, '\n', 0x00}));
}

// The runner as the real one answers: schtasks.exe by its full path in the
// system directory.
class LocatingRunner : public fake::FakeProcessRunner {
public:
    std::optional<std::string> locate(const platform::ProcessRequest& request) override {
        if (!found) return std::nullopt;
        return "C:\\Windows\\System32\\" + request.program;
    }
    // Sees each request while the program "runs" (its files still there).
    Result<platform::ProcessOutcome> run(const platform::ProcessRequest& request) override {
        if (onRun) onRun(request);
        return FakeProcessRunner::run(request);
    }
    bool found = true;
    std::function<void(const platform::ProcessRequest&)> onRun;
};

// Records each elevated run; the handler stands in for the program.
class ElevatedRecorder : public platform::ElevatedRunner {
public:
    struct Call {
        std::string program;
        std::vector<std::string> args;
        friend bool operator==(const Call&, const Call&) = default;
    };
    Result<platform::ElevatedOutcome> run_elevated_and_wait(const std::string& program,
                                                            const std::vector<std::string>& args,
                                                            std::uintptr_t owner) override {
        std::lock_guard lock(mutex_);
        calls_.push_back({program, args});
        owners_.push_back(owner);
        if (whileRunning) whileRunning(args);
        return platform::ElevatedOutcome{};
    }
    std::vector<Call> calls() const {
        std::lock_guard lock(mutex_);
        return calls_;
    }
    // The window each consent prompt belonged to, in order.
    std::vector<std::uintptr_t> owners() const {
        std::lock_guard lock(mutex_);
        return owners_;
    }
    std::function<void(const std::vector<std::string>&)> whileRunning;

private:
    mutable std::mutex mutex_;
    std::vector<Call> calls_;
    std::vector<std::uintptr_t> owners_;
};

Bytes read_file(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct Rig {
    Rig() {
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
    }
    ~Rig() {
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
    std::filesystem::path dir =
        std::filesystem::temp_directory_path() /
        ("hp-startup-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    std::shared_ptr<fake::FakeUserRegistry> registry = std::make_shared<fake::FakeUserRegistry>();
    std::shared_ptr<LocatingRunner> runner = std::make_shared<LocatingRunner>();
    std::shared_ptr<ElevatedRecorder> elevated = std::make_shared<ElevatedRecorder>();
    Instant now = Instant(1000s);
    StartAtLogin startup{{registry, runner, elevated, kExe, [this] { return now; }, 120000ms, kSid, dir}};

    void answer(int exitCode, std::string output = {}) {
        runner->push(platform::ProcessOutcome{exitCode, std::move(output), false});
    }
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
    rig.answer(1);
    EXPECT_FALSE(rig.startup.elevated_task_exists());
    // The user's own name, then the shared one's definition.
    EXPECT_EQ(rig.schtasks_calls(), (std::vector<std::vector<std::string>>{{"/Query", "/TN", kOwnTask},
                                                                           {"/Query", "/TN", kOwnTask},
                                                                           {"/Query", "/TN", kShared, "/XML"}}));
    // schtasks.exe missing: no task.
    rig.now += 60s;
    EXPECT_FALSE(rig.startup.elevated_task_exists());
}

// The /XML argument names the definition file in the temporary directory.
std::filesystem::path definition_of(const std::vector<std::string>& args) {
    EXPECT_EQ(args.size(), 6u);
    return args.size() == 6 ? std::filesystem::path(args[4]) : std::filesystem::path();
}

TEST(ElevatedTask, CreatingWithRightsNeedsNoPromptAndShowsTheNewStateAtOnce) {
    Rig rig;
    rig.answer(0);  // /Create succeeds
    rig.startup.toggle_elevated_task(false);
    const auto calls = rig.schtasks_calls();
    ASSERT_EQ(calls.size(), 2u);
    const auto file = definition_of(calls[0]);
    EXPECT_EQ(calls[0], (std::vector<std::string>{"/Create", "/TN", kOwnTask, "/XML", file.string(), "/F"}));
    // Then a look for a shared-name task of this user's (none).
    EXPECT_EQ(calls[1], (std::vector<std::string>{"/Query", "/TN", kShared, "/XML"}));
    EXPECT_EQ(file.parent_path(), rig.dir);
    EXPECT_EQ(file.extension(), ".xml");
    EXPECT_FALSE(std::filesystem::exists(file));  // removed once schtasks.exe ended
    EXPECT_TRUE(rig.elevated->calls().empty());
    EXPECT_TRUE(rig.startup.elevated_task_exists());  // from the cache
    EXPECT_EQ(rig.runner->requests().size(), 2u);
}

TEST(ElevatedTask, WithoutRightsTheSystemsSchtasksRunsElevatedAndReadsTheDefinitionBeforeItIsRemoved) {
    Rig rig;
    rig.answer(1);  // /Create refused
    Bytes seen;
    rig.elevated->whileRunning = [&](const std::vector<std::string>& args) { seen = read_file(definition_of(args)); };
    rig.startup.toggle_elevated_task(false);
    const auto calls = rig.schtasks_calls();
    ASSERT_EQ(calls.size(), 2u);  // the creation, then the look for a shared-name task
    EXPECT_EQ(rig.elevated->calls(),
              (std::vector<ElevatedRecorder::Call>{{"C:\\Windows\\System32\\schtasks.exe", calls[0]}}));
    EXPECT_EQ(seen, task_definition_file(kExe, kSid));
    EXPECT_FALSE(std::filesystem::exists(definition_of(calls[0])));
    EXPECT_TRUE(std::filesystem::is_empty(rig.dir));
}

TEST(ElevatedTask, WithoutRightsTheSameArgumentsGoThroughTheElevationPromptAndTheAnswerExpiresIn5s) {
    Rig rig;
    rig.answer(0);  // the user's task is there
    rig.answer(1);  // /Delete refused
    rig.answer(1);  // no shared-name task
    rig.startup.toggle_elevated_task(true);
    EXPECT_EQ(rig.schtasks_calls(), (std::vector<std::vector<std::string>>{{"/Query", "/TN", kOwnTask},
                                                                           {"/Delete", "/TN", kOwnTask, "/F"},
                                                                           {"/Query", "/TN", kShared, "/XML"}}));
    EXPECT_EQ(rig.elevated->calls(),
              (std::vector<ElevatedRecorder::Call>{
                  {"C:\\Windows\\System32\\schtasks.exe", {"/Delete", "/TN", kOwnTask, "/F"}}}));
    EXPECT_FALSE(rig.startup.elevated_task_exists());
    rig.now += 4s;
    EXPECT_FALSE(rig.startup.elevated_task_exists());
    EXPECT_EQ(rig.runner->requests().size(), 3u);
    // The prompt was refused: 5 s later the real state comes back.
    rig.now += 1s;
    rig.answer(0);
    EXPECT_TRUE(rig.startup.elevated_task_exists());
}

// The consent prompt belongs to the window the command was chosen in, for
// creating and for deleting alike.
TEST(ElevatedTask, TheConsentPromptBelongsToTheCallersWindow) {
    Rig rig;
    const std::uintptr_t window = 0x3012c;
    rig.answer(1);  // /Create refused
    rig.startup.toggle_elevated_task(false, window);
    rig.answer(0);  // the task is there
    rig.answer(1);  // /Delete refused
    rig.startup.toggle_elevated_task(true, window);
    ASSERT_EQ(rig.elevated->calls().size(), 2u);
    EXPECT_EQ(rig.elevated->owners(), (std::vector<std::uintptr_t>{window, window}));
}

TEST(ElevatedTask, WithoutTheSystemsSchtasksNothingIsStartedElevated) {
    Rig rig;
    rig.runner->found = false;
    rig.answer(0);  // the task is there; its /Delete is refused
    rig.startup.toggle_elevated_task(true);
    EXPECT_TRUE(rig.elevated->calls().empty());
}

TEST(ElevatedTask, AClockYoungerThan55SecondsLeavesNoAnswerKept) {
    Rig rig;
    rig.now = Instant(30s);
    rig.startup.toggle_elevated_task(false);  // no answer queued: schtasks.exe "missing"
    ASSERT_EQ(rig.elevated->calls().size(), 1u);
    EXPECT_EQ(rig.elevated->calls()[0].args[0], "/Create");
    rig.answer(0);
    EXPECT_TRUE(rig.startup.elevated_task_exists());
    EXPECT_EQ(rig.runner->requests().size(), 3u);  // asked again at once (after the creation's two)
}

TEST(TaskName, EachUserHasTheirOwn) {
    EXPECT_EQ(task_name(kSid), kOwnTask);
    EXPECT_EQ(task_name(kOtherSid), "HearthpadHost-S-1-5-21-1004336348-1177238915-682003330-1002");
    EXPECT_NE(task_name(kSid), task_name(kOtherSid));
    EXPECT_EQ(task_name(""), kShared);  // the user unknown: the name as before
    EXPECT_EQ(Rig().startup.task(), kOwnTask);
}

// A shared-name task, as "schtasks /Query /XML" prints it, for each kind of
// principal: it is this user's only when its principal is this user.
TEST(ElevatedTask, ASharedNameTaskCountsOnlyWhenItsPrincipalIsThisUser) {
    const std::string group = task_definition_xml(kExe, "");
    struct Case {
        const char* what;
        std::string definition;
        bool ours;
    };
    const Case cases[] = {
        {"this user", task_definition_xml(kExe, kSid), true},
        {"this user, lower case", task_definition_xml(kExe, "s-1-5-21-1004336348-1177238915-682003330-1001"), true},
        {"this user, another program", task_definition_xml("D:\\Tools\\other.exe", kSid), true},
        {"another user", task_definition_xml(kExe, kOtherSid), false},
        {"no user named", group, false},
        {"not a definition", "ERROR: Access is denied.\r\n", false},
    };
    for (const auto& c : cases) {
        Rig rig;
        rig.answer(1);                 // no task of the user's own name
        rig.answer(0, c.definition);   // the shared name
        rig.answer(1);                 // the user's own cannot be created without rights
        EXPECT_EQ(rig.startup.elevated_task_exists(), c.ours) << c.what;
        // Never deleted from a look at the menu, nor asked for rights.
        for (const auto& call : rig.schtasks_calls()) EXPECT_NE(call[0], "/Delete") << c.what;
        EXPECT_TRUE(rig.elevated->calls().empty()) << c.what;
    }
}

TEST(ElevatedTask, AnotherUsersSharedNameTaskIsLeftAloneWhenThisUserTicksTheItem) {
    Rig rig;
    rig.answer(0);                                           // /Create of the user's own
    rig.answer(0, task_definition_xml(kExe, kOtherSid));    // the shared name: another user's
    rig.startup.toggle_elevated_task(false);
    const auto calls = rig.schtasks_calls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0][2], kOwnTask);
    EXPECT_EQ(calls[1], (std::vector<std::string>{"/Query", "/TN", kShared, "/XML"}));
}

// Earlier versions' task of this user, starting this program: the first
// look from a host that has the rights (the task started it elevated)
// creates the user's own task, then deletes the shared one.
TEST(ElevatedTask, ThisUsersSharedNameTaskIsReplacedByTheUsersOwn) {
    Rig rig;
    rig.answer(1);                                                                        // own name: none
    rig.answer(0, task_definition_xml("c:\\program files\\HEARTHPAD\\app.exe", kSid));  // shared: ours
    rig.answer(0);                                                                        // /Create
    rig.answer(0);                                                                        // /Delete
    Bytes created;
    rig.runner->onRun = [&](const platform::ProcessRequest& r) {
        if (r.args[0] == "/Create") created = read_file(definition_of(r.args));
    };
    EXPECT_TRUE(rig.startup.elevated_task_exists());
    const auto calls = rig.schtasks_calls();
    ASSERT_EQ(calls.size(), 4u);
    EXPECT_EQ(calls[0], (std::vector<std::string>{"/Query", "/TN", kOwnTask}));
    EXPECT_EQ(calls[1], (std::vector<std::string>{"/Query", "/TN", kShared, "/XML"}));
    EXPECT_EQ(calls[2], (std::vector<std::string>{"/Create", "/TN", kOwnTask, "/XML", definition_of(calls[2]).string(), "/F"}));
    EXPECT_EQ(calls[3], (std::vector<std::string>{"/Delete", "/TN", kShared, "/F"}));
    EXPECT_EQ(created, task_definition_file(kExe, kSid));
    EXPECT_TRUE(rig.elevated->calls().empty());
}

TEST(ElevatedTask, UntickingDeletesBothFormsOfTheUsersTask) {
    Rig rig;
    rig.answer(0);                                       // own name: there
    rig.answer(0);                                       // its /Delete
    rig.answer(0, task_definition_xml(kExe, kSid));      // shared name: this user's
    rig.answer(0);                                       // its /Delete
    rig.startup.toggle_elevated_task(true);
    EXPECT_EQ(rig.schtasks_calls(), (std::vector<std::vector<std::string>>{{"/Query", "/TN", kOwnTask},
                                                                           {"/Delete", "/TN", kOwnTask, "/F"},
                                                                           {"/Query", "/TN", kShared, "/XML"},
                                                                           {"/Delete", "/TN", kShared, "/F"}}));
}

// The scheduler may keep the principal as an account name; the program's
// rule decides whether that name is this user.
TEST(ElevatedTask, ThePrincipalIsComparedByTheGivenRule) {
    Rig rig;
    std::vector<std::pair<std::string, std::string>> asked;
    StartAtLogin startup{{rig.registry, rig.runner, rig.elevated, kExe, [&rig] { return rig.now; }, 120000ms, kSid,
                          rig.dir,
                          [&asked](std::string_view principal, std::string_view sid) {
                              asked.emplace_back(principal, sid);
                              return principal == "PC\\alice";
                          }}};
    rig.answer(1);
    rig.answer(0, "<Task><Principals><Principal><UserId>PC\\alice</UserId></Principal></Principals>"
                  "<Actions><Exec><Command>C:\\x.exe</Command></Exec></Actions></Task>");
    EXPECT_TRUE(startup.elevated_task_exists());
    EXPECT_EQ(asked, (std::vector<std::pair<std::string, std::string>>{{"PC\\alice", kSid}}));
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
