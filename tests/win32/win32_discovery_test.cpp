// The Windows side of discovery against the real system: the mDNS responder
// from dnsapi.dll (absent under Wine 8: "no mDNS daemon") and the process
// runner (CreateProcessW, captured output, exit codes, argument quoting).
#include <gtest/gtest.h>

#include <windows.h>
#include <shellapi.h>

#include <memory>
#include <string>
#include <vector>

#include "base/command_line.h"
#include "platform/mdns_responder.h"
#include "platform/process_runner.h"
#include "platform/win32/text.h"

namespace hp::platform {
namespace {

TEST(MdnsResponder, MissingDnsServiceRegisterMeansNoDaemon) {
    HMODULE dnsapi = LoadLibraryW(L"dnsapi.dll");
    const bool available = dnsapi && GetProcAddress(dnsapi, "DnsServiceRegister") &&
                           GetProcAddress(dnsapi, "DnsServiceDeRegister") &&
                           GetProcAddress(dnsapi, "DnsServiceConstructInstance");
    auto responder = make_mdns_responder();
    if (available) {
        EXPECT_TRUE(responder) << "dnsapi.dll has the functions";
    } else {
        ASSERT_FALSE(responder);
        EXPECT_EQ(responder.error().text, "no mDNS daemon");
    }
}

Result<ProcessOutcome> run(std::string program, std::vector<std::string> args) {
    ProcessRequest r;
    r.program = std::move(program);
    r.args = std::move(args);
    r.timeLimit = std::chrono::seconds(30);
    return make_process_runner()->run(r);
}

TEST(ProcessRunner, RunsAProgramFromThePathAndCapturesItsOutput) {
    auto r = run("cmd", {"/c", "echo hello& echo oops 1>&2& exit 3"});
    ASSERT_TRUE(r) << r.error().text;
    EXPECT_EQ(r->output, "hello\r\n");
    EXPECT_EQ(r->exitCode, 3);
}

TEST(ProcessRunner, StandardInputIsEmpty) {
    auto r = run("cmd", {"/c", "more"});  // reads standard input to its end
    ASSERT_TRUE(r) << r.error().text;
    EXPECT_EQ(r->exitCode, 0);
}

TEST(ProcessRunner, MissingProgramCannotStart) {
    EXPECT_FALSE(run("hearthpad-no-such-program", {"status", "--json"}));
}

// The quoting gives every argument back through the system's own splitting.
TEST(WindowsCommandLine, SplitsBackIntoTheSameArguments) {
    const std::vector<std::string> args = {"status", "--json", "", "a b", "a\"b", "C:\\my dir\\", "a\\\\\"b",
                                           "tab\there", "Büro"};
    const auto line = win32::to_wide(windows_command_line("tailscale", args));
    ASSERT_TRUE(line);
    int argc = 0;
    std::unique_ptr<LPWSTR, decltype(&LocalFree)> argv(CommandLineToArgvW(line->c_str(), &argc), &LocalFree);
    ASSERT_TRUE(argv);
    ASSERT_EQ(argc, static_cast<int>(args.size() + 1));
    for (std::size_t i = 0; i < args.size(); ++i)
        EXPECT_EQ(win32::to_utf8(argv.get()[i + 1]), args[i]) << i;
}

}  // namespace
}  // namespace hp::platform
