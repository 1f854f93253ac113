// The uninstaller's clean-up: the task's command read from what
// "schtasks /Query /XML" prints, in the encodings it may print, and the
// decision to remove the Run value and the task only when they name this
// program.
#include <gtest/gtest.h>

#include <string>

#include "base/utf8.h"
#include "platform/fake/fake_process_runner.h"
#include "platform/fake/fake_user_registry.h"
#include "startup/forget_startup.h"

namespace hp::startup {
namespace {

using namespace std::string_literals;

constexpr char kExe[] = "C:\\Program Files\\Hearthpad\\hearthpad.exe";
constexpr char kSid[] = "S-1-5-21-1004336348-1177238915-682003330-1001";

// A definition as schtasks prints it, with `actions` inside <Actions>.
std::string definition(const std::string& actions) {
    return "<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n"
           "<Task version=\"1.2\" xmlns=\"http://schemas.microsoft.com/windows/2004/02/mit/task\">\r\n"
           "  <RegistrationInfo>\r\n"
           "    <Author>PC\\user</Author>\r\n"
           "    <URI>\\HearthpadHost</URI>\r\n"
           "  </RegistrationInfo>\r\n"
           "  <!-- <Actions><Exec><Command>C:\\commented.exe</Command></Exec></Actions> -->\r\n"
           "  <Actions Context=\"Author\">\r\n" +
           actions +
           "  </Actions>\r\n"
           "</Task>\r\n";
}
std::string exec(const std::string& command) {
    return "    <Exec>\r\n      <Command>" + command + "</Command>\r\n      <Arguments>--background</Arguments>\r\n    </Exec>\r\n";
}

std::string utf16le(std::string_view utf8, bool mark) {
    std::string out = mark ? "\xFF\xFE"s : ""s;
    for (const char16_t u : utf8_to_utf16(utf8)) {
        out += static_cast<char>(u & 0xFF);
        out += static_cast<char>(u >> 8);
    }
    return out;
}

TEST(TaskCommand, ReadFromEveryEncodingSchtasksMayPrint) {
    const std::string ours = task_definition_xml(kExe, kSid);
    const Bytes file = task_definition_file(kExe, kSid);
    const std::string asFile(file.begin(), file.end());
    const std::string accented = "C:\\Programme\\H\xC3\xA9\xE2\x82\xACrthpad\\hearthpad.exe";  // é, €
    const std::pair<std::string, std::string> cases[] = {
        {ours, kExe},
        {asFile, kExe},
        {utf16le(ours, false), kExe},
        {"\xEF\xBB\xBF" + ours, kExe},
        {utf16le(definition(exec(accented)), true), accented},
        {utf16le(definition(exec(accented)), false), accented},
        // 8-bit output in another code page: only the command must be UTF-8.
        {definition(exec(kExe)).replace(definition(exec(kExe)).find("PC\\user"), 7, "PC\\Jos\xE9"), kExe},
    };
    for (const auto& [output, command] : cases) EXPECT_EQ(task_command_from_query(output), command);
}

TEST(TaskCommand, EntitiesDecodedQuotesAndSpaceTrimmed) {
    const std::pair<std::string, std::string> cases[] = {
        {"&quot;C:\\A&amp;B\\&lt;x&gt;&apos;s.exe&quot;", "C:\\A&B\\<x>'s.exe"},
        {"  \r\n \" C:\\x\\app.exe \"\t ", "C:\\x\\app.exe"},
        {"C:&#92;x&#x5C;&#xe9;.exe", "C:\\x\\\xC3\xA9.exe"},
        {"<![CDATA[C:\\a&b\\app.exe]]>", "C:\\a&b\\app.exe"},
        {"\"C:\\x.exe", "\"C:\\x.exe"},  // a lone quote is part of the text
    };
    for (const auto& [command, expected] : cases)
        EXPECT_EQ(task_command_from_query(definition(exec(command))), expected) << command;
}

TEST(TaskCommand, NothingWithoutExactlyOneReadableExecCommand) {
    const std::string cases[] = {
        "",
        "ERROR: The system cannot find the file specified.\r\n",
        definition(""),
        definition("    <ComHandler><ClassId>{00000000-0000-0000-0000-000000000000}</ClassId></ComHandler>\r\n"),
        definition(exec(kExe) + exec("C:\\other.exe")),
        definition("    <Exec><Arguments>--background</Arguments></Exec>\r\n"),
        definition(exec("C:\\a&nbsp;b.exe")),
        definition(exec("C:\\a&amp b.exe")),
        definition(exec("C:\\a&#0;.exe")),
        definition(exec("C:\\a<b/>.exe")),
        definition(exec("   ")),
        definition(exec("C:\\H\xE9rthpad\\hearthpad.exe")),  // an 8-bit code page's letter
        "<Task><Exec><Command>C:\\x.exe</Command></Exec></Task>",  // not inside <Actions>
        definition(exec(kExe)).substr(0, definition(exec(kExe)).size() - 12),  // cut short
        utf16le(definition(exec(kExe)), true).substr(0, 600),
    };
    for (const std::string& output : cases) EXPECT_EQ(task_command_from_query(output), std::nullopt) << output;
}

TEST(TaskUser, TheOnePrincipalsUserId) {
    const auto principals = [](const std::string& inside) {
        return "<Task><Principals>" + inside + "</Principals><Actions><Exec><Command>C:\\x.exe</Command></Exec>"
               "</Actions></Task>";
    };
    const std::pair<std::string, std::optional<std::string>> cases[] = {
        {task_definition_xml(kExe, kSid), kSid},
        {utf16le(task_definition_xml(kExe, kSid), true), kSid},
        {principals("<Principal id=\"Author\"><UserId> PC\\Jos&#xe9; </UserId></Principal>"), "PC\\Jos\xC3\xA9"},
        {task_definition_xml(kExe, ""), std::nullopt},  // the trigger's user is not the principal
        {principals("<Principal><GroupId>S-1-5-32-545</GroupId></Principal>"), std::nullopt},
        {principals("<Principal><UserId>S-1-5-18</UserId></Principal><Principal><UserId>" + std::string(kSid) +
                    "</UserId></Principal>"),
         std::nullopt},
        {principals("<Principal><UserId></UserId></Principal>"), std::nullopt},
        {task_definition_xml(kExe, kSid).substr(0, 400), std::nullopt},  // cut short
    };
    for (const auto& [output, user] : cases) EXPECT_EQ(task_user_from_query(output), user) << output;
}

TEST(SamePath, AsciiLettersWithoutCase) {
    EXPECT_TRUE(same_path_ascii_case("C:\\Program Files\\App.exe", "c:\\PROGRAM FILES\\app.EXE"));
    EXPECT_FALSE(same_path_ascii_case("C:\\App.exe", "C:\\App.exe "));
    EXPECT_FALSE(same_path_ascii_case("C:\\\xC3\x89.exe", "C:\\\xC3\xA9.exe"));  // É, é: the system's rule
}

class Forget : public ::testing::Test {
protected:
    ForgetStartupOptions options(std::string exe = kExe, std::string sid = {}) {
        return {registry_, runner_, std::move(exe), kSchtasksPath, std::chrono::seconds(120), {}, std::move(sid)};
    }
    void put_run_value(const std::string& command) {
        std::u16string units = utf8_to_utf16(command);
        units.push_back(u'\0');
        registry_->put_units(kRunKey, kRunValueName, units);
    }
    bool run_value_kept() const { return registry_->units(kRunKey, kRunValueName).has_value(); }
    void answer(int exitCode, std::string output = {}) {
        runner_->push(platform::ProcessOutcome{exitCode, std::move(output), false});
    }
    std::vector<std::vector<std::string>> schtasks_calls() const {
        std::vector<std::vector<std::string>> out;
        for (const auto& r : runner_->requests()) {
            EXPECT_EQ(r.program, kSchtasksPath);
            out.push_back(r.args);
        }
        return out;
    }
    static constexpr char kSchtasksPath[] = "C:\\Windows\\system32\\schtasks.exe";
    std::shared_ptr<fake::FakeUserRegistry> registry_ = std::make_shared<fake::FakeUserRegistry>();
    std::shared_ptr<fake::FakeProcessRunner> runner_ = std::make_shared<fake::FakeProcessRunner>();
};

TEST_F(Forget, OurRunValueIsDeletedAnotherIsKept) {
    const std::pair<std::string, bool> cases[] = {
        {launch_command(kExe), false},
        {launch_command("D:\\Hearthpad\\hearthpad.exe"), true},
        {"\"C:\\Program Files\\Hearthpad\\hearthpad.exe\"", true},
        {"\"C:\\Tools\\other.exe\" --background", true},
    };
    for (const auto& [value, kept] : cases) {
        put_run_value(value);
        EXPECT_EQ(forget_startup(options()), ForgetStartupExit::Done) << value;
        EXPECT_EQ(run_value_kept(), kept) << value;
        registry_->delete_value(kRunKey, kRunValueName);
    }
}

TEST_F(Forget, OurTaskIsDeleted) {
    // The scheduler may keep the path in another letter case.
    answer(0, utf16le(task_definition_xml("c:\\program files\\HEARTHPAD\\hearthpad.exe", kSid), true));
    answer(0);
    EXPECT_EQ(forget_startup(options()), ForgetStartupExit::Done);
    EXPECT_EQ(schtasks_calls(), (std::vector<std::vector<std::string>>{
                                    {"/Query", "/TN", "HearthpadHost", "/XML"},
                                    {"/Delete", "/TN", "HearthpadHost", "/F"},
                                }));
}

TEST_F(Forget, ATaskOfAnotherProgramOrOneThatCannotBeReadIsLeftAlone) {
    const std::pair<int, std::string> answers[] = {
        {0, task_definition_xml("D:\\Hearthpad\\hearthpad.exe", kSid)},
        {0, task_definition_xml("C:\\Program Files\\Hearthpad\\hearthpad.exe.bak", kSid)},
        {1, "ERROR: The system cannot find the file specified.\r\n"},
        {0, ""},
        {0, "not a task definition"},
    };
    for (const auto& [exitCode, output] : answers) {
        runner_ = std::make_shared<fake::FakeProcessRunner>();
        answer(exitCode, output);
        EXPECT_EQ(forget_startup(options()), ForgetStartupExit::Done) << output;
        EXPECT_EQ(schtasks_calls().size(), 1u) << output;
    }
    runner_ = std::make_shared<fake::FakeProcessRunner>();  // schtasks.exe cannot be started
    EXPECT_EQ(forget_startup(options()), ForgetStartupExit::Done);
    EXPECT_EQ(schtasks_calls().size(), 1u);
    // Output cut at the runner's limit is not read.
    runner_ = std::make_shared<fake::FakeProcessRunner>();
    runner_->push(platform::ProcessOutcome{0, task_definition_xml(kExe, kSid), true});
    EXPECT_EQ(forget_startup(options()), ForgetStartupExit::Done);
    EXPECT_EQ(schtasks_calls().size(), 1u);
}

// The user's own task and the one every user shared before: each removed
// only when it starts the installed program.
TEST_F(Forget, BothFormsOfTheTaskAreDeletedOnlyWhenTheyNameThisProgram) {
    const std::string own = "HearthpadHost-" + std::string(kSid);
    const std::string ours = task_definition_xml(kExe, kSid);
    const std::string othersUserOurs = task_definition_xml(kExe, "S-1-5-21-1004336348-1177238915-682003330-1002");
    const std::string elsewhere = task_definition_xml("D:\\Hearthpad\\hearthpad.exe", kSid);
    using Calls = std::vector<std::vector<std::string>>;
    const std::vector<std::string> queryOwn{"/Query", "/TN", own, "/XML"}, deleteOwn{"/Delete", "/TN", own, "/F"};
    const std::vector<std::string> queryShared{"/Query", "/TN", "HearthpadHost", "/XML"},
        deleteShared{"/Delete", "/TN", "HearthpadHost", "/F"};
    struct Case {
        const char* what;
        std::vector<platform::ProcessOutcome> answers;
        Calls calls;
    };
    const platform::ProcessOutcome deleted{0, {}, false}, missing{1, {}, false};
    const auto found = [](const std::string& d) { return platform::ProcessOutcome{0, d, false}; };
    const Case cases[] = {
        {"both ours", {found(ours), deleted, found(ours), deleted}, {queryOwn, deleteOwn, queryShared, deleteShared}},
        {"only the user's own", {found(ours), deleted, missing}, {queryOwn, deleteOwn, queryShared}},
        {"the shared one, made by another user", {missing, found(othersUserOurs), deleted},
         {queryOwn, queryShared, deleteShared}},
        {"both of another copy", {found(elsewhere), found(elsewhere)}, {queryOwn, queryShared}},
    };
    for (const auto& c : cases) {
        runner_ = std::make_shared<fake::FakeProcessRunner>();
        for (const auto& a : c.answers) runner_->push(a);
        EXPECT_EQ(forget_startup(options(kExe, kSid)), ForgetStartupExit::Done) << c.what;
        EXPECT_EQ(schtasks_calls(), c.calls) << c.what;
    }
}

TEST_F(Forget, ThePathsAreComparedByTheGivenRule) {
    const std::string accented = "C:\\Programme\\\xC3\x89t\xC3\xA9\\hearthpad.exe";
    answer(0, task_definition_xml("C:\\Programme\\\xC3\xA9t\xC3\xA9\\hearthpad.exe", kSid));
    answer(0);
    ForgetStartupOptions o = options(accented);
    std::vector<std::pair<std::string, std::string>> asked;
    o.samePath = [&asked](std::string_view a, std::string_view b) {
        asked.emplace_back(a, b);
        return true;
    };
    EXPECT_EQ(forget_startup(o), ForgetStartupExit::Done);
    EXPECT_EQ(asked, (std::vector<std::pair<std::string, std::string>>{
                         {"C:\\Programme\\\xC3\xA9t\xC3\xA9\\hearthpad.exe", accented}}));
    EXPECT_EQ(schtasks_calls().size(), 2u);
}

TEST_F(Forget, AnEntryOfOursThatStaysIsReported) {
    put_run_value(launch_command(kExe));
    registry_->refuse_writes(kRunKey);
    EXPECT_EQ(forget_startup(options()), ForgetStartupExit::EntryRemains);
    EXPECT_TRUE(run_value_kept());

    registry_ = std::make_shared<fake::FakeUserRegistry>();
    runner_ = std::make_shared<fake::FakeProcessRunner>();
    answer(0, task_definition_xml(kExe, kSid));
    answer(1);  // /Delete refused
    EXPECT_EQ(forget_startup(options()), ForgetStartupExit::EntryRemains);
    EXPECT_EQ(schtasks_calls().size(), 2u);
}

TEST_F(Forget, WithoutItsOwnPathNothingIsTouched) {
    put_run_value(launch_command(""));
    EXPECT_EQ(forget_startup(options("")), ForgetStartupExit::UnknownProgram);
    EXPECT_TRUE(run_value_kept());
    EXPECT_TRUE(runner_->requests().empty());
}

TEST(ForgetStartupExit, TheCodesTheUninstallerReads) {
    EXPECT_EQ(static_cast<int>(ForgetStartupExit::Done), 0);
    EXPECT_EQ(static_cast<int>(ForgetStartupExit::UnknownProgram), 1);
    EXPECT_EQ(static_cast<int>(ForgetStartupExit::EntryRemains), 2);
}

}  // namespace
}  // namespace hp::startup
