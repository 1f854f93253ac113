// What the connection check asks Windows: the firewall and the network list
// through COM, and the elevated run of a helper program with its exit code.
//
// Wine's INetFwPolicy2 answers E_NOTIMPL and keeps no rules, and its network
// list calls every network Public: the real objects must give facts or
// unknowns here without failing, and what a fix changes is tested with the
// portable fake firewall.
#include <gtest/gtest.h>

#include <windows.h>
#include <objbase.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/elevation.h"
#include "platform/firewall.h"

namespace hp::platform {
namespace {

namespace fs = std::filesystem;

// Runs `body` on a thread of its own in the multithreaded apartment, as the
// connection check's worker does.
template <class F>
void on_mta_thread(F body) {
    std::thread([&] {
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
        body();
        CoUninitialize();
    }).join();
}

TEST(RealFirewall, GivesFactsOrUnknownsAndNeverFails) {
    on_mta_thread([] {
        auto firewall = make_firewall();
        for (const unsigned profile : {kProfileDomain, kProfilePrivate, kProfilePublic}) {
            (void)firewall->enabled(profile);
            (void)firewall->blocks_all_inbound(profile);
        }
        (void)firewall->managed_elsewhere();
        const auto rules = firewall->rules();
        if (rules) {
            for (const auto& r : *rules) EXPECT_EQ(r.profiles & ~kProfileAll, 0u) << r.name;
        } else {
            EXPECT_FALSE(rules.error().text.empty());
        }
        // An index that the last listing did not hand out is refused.
        EXPECT_FALSE(firewall->disable_rule(100000));
    });
}

TEST(RealNetworkList, NamesAdaptersByTheirBracedGuid) {
    on_mta_thread([] {
        auto list = make_network_list()->categories();
        if (!list) GTEST_SKIP() << "no network list in this system";
        for (const auto& [id, category] : *list) {
            ASSERT_EQ(id.size(), 38u) << id;
            EXPECT_EQ(id.front(), '{');
            EXPECT_EQ(id.back(), '}');
            (void)category;
        }
    });
}

// The elevated run hands the arguments over quoted and gives back the exit
// code. Wine starts "runas" programs without a prompt, so this shows the
// launch, the wait and the exit code; the user's "no" is ERROR_CANCELLED on a
// real PC, which the runner reports as declined.
TEST(ElevatedRunner, StartsTheProgramWithItsArgumentsAndReadsItsExitCode) {
    const fs::path stub = fs::path(HP_STUB_DIR) / "schtasks.exe";
    ASSERT_TRUE(fs::exists(stub)) << stub;
    const fs::path log = fs::temp_directory_path() / ("hp-elevated-" + std::to_string(GetCurrentProcessId()) + ".log");
    fs::remove(log);
    SetEnvironmentVariableW(L"HP_STUB_SCHTASKS_LOG", log.wstring().c_str());
    SetEnvironmentVariableW(L"HP_STUB_SCHTASKS_EXIT", L"7");
    std::thread([&] {
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE)));
        const auto outcome = make_elevated_runner()->run_elevated_and_wait(
            stub.string(), {"--allow-firewall", "a \"quoted\" word"}, 0);
        ASSERT_TRUE(outcome) << outcome.error().text;
        EXPECT_FALSE(outcome->declined);
        EXPECT_EQ(outcome->exitCode, 7u);
        CoUninitialize();
    }).join();
    SetEnvironmentVariableW(L"HP_STUB_SCHTASKS_LOG", nullptr);
    SetEnvironmentVariableW(L"HP_STUB_SCHTASKS_EXIT", nullptr);
    std::ifstream in(log);
    std::string line;
    std::getline(in, line);
    EXPECT_EQ(line, "--allow-firewall\ta \"quoted\" word");
    in.close();
    std::error_code ec;
    fs::remove(log, ec);
}

TEST(ElevatedRunner, AProgramThatDoesNotExistIsAnErrorNotADecline) {
    std::thread([] {
        (void)CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
        const auto outcome =
            make_elevated_runner()->run_elevated_and_wait("C:\\no\\such\\program.exe", {"--allow-firewall"}, 0);
        EXPECT_FALSE(outcome);
        CoUninitialize();
    }).join();
}

}  // namespace
}  // namespace hp::platform
