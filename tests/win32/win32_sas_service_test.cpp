// The Ctrl+Alt+Del helper service: its pipe server in this process (the
// request, the status byte, the deadline, the stop, the first instance),
// then hearthpad-sas.exe installed into Wine's service control manager with
// a recording sas.dll in the prefix's system directory, asked by the host's
// own code, stopped, started, and uninstalled with the policy put back.
//
// What Wine cannot show: every process of a Wine prefix is in session 1 and
// WTSGetActiveConsoleSessionId answers 1, so the service's "refused" for a
// client of another session is shown by the native tables only; Wine does
// not check a pipe's security descriptor, so the interactive users' missing
// FILE_CREATE_PIPE_INSTANCE is a real PC's matter; Wine ignores
// FILE_FLAG_FIRST_PIPE_INSTANCE (the tests that need it find that out and
// skip); and Wine lets a pipe's server impersonate before it has read
// anything.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/win32/sas_helper.h"
#include "platform/win32/win32_system.h"
#include "sas/sas.h"
#include "sas_service/contract.h"
#include "sas_service/pipe_server.h"
#include "sas_service/service_control.h"
#include "win32/stand_ins.h"

namespace hp::sas_service {
namespace {

namespace fs = std::filesystem;
using platform::SasHelperStatus;

std::wstring test_pipe() {
    return L"\\\\.\\pipe\\HearthpadSasServiceTest-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
           std::to_wstring(GetTickCount64());
}

struct Event {
    HANDLE h = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    Event() = default;
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;
    ~Event() { CloseHandle(h); }
};

// A client that waits as long as it must (unlike the host, whose exchange
// is bounded): writes `request` (nothing when empty), reads the answer.
std::string ask(const std::wstring& pipe, const std::string& request) {
    if (!WaitNamedPipeW(pipe.c_str(), 20000)) return "no pipe";
    const HANDLE h = CreateFileW(pipe.c_str(), GENERIC_READ | FILE_WRITE_DATA, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return "not opened";
    DWORD n = 0;
    if (!request.empty()) WriteFile(h, request.data(), static_cast<DWORD>(request.size()), &n, nullptr);
    char answer[8];
    std::string got;
    if (ReadFile(h, answer, sizeof answer, &n, nullptr)) got.assign(answer, n);
    CloseHandle(h);
    return got;
}

std::string status_byte(SasHelperStatus s) { return std::string(1, static_cast<char>(s)); }

// The server on a thread, with a send function that counts its calls.
class ServedPipe {
public:
    explicit ServedPipe(std::wstring name, bool sendWorks = true) : name_(std::move(name)) {
        auto server = PipeServer::create(name_);
        if (!server) {
            error_ = server.error();
            return;
        }
        thread_ = std::thread([this, sendWorks, server = std::move(*server)]() mutable {
            result_ = server.run(stop_.h, [this, sendWorks](HANDLE) {
                ++sends_;
                return sendWorks;
            });
        });
    }
    ServedPipe(const ServedPipe&) = delete;
    ServedPipe& operator=(const ServedPipe&) = delete;
    ~ServedPipe() { stop(); }

    bool serving() const { return thread_.joinable(); }
    DWORD error() const { return error_; }
    int sends() const { return sends_; }
    // Signals the stop and waits for the server to return.
    Status stop() {
        SetEvent(stop_.h);
        if (thread_.joinable()) thread_.join();
        return result_;
    }

private:
    std::wstring name_;
    Event stop_;
    std::thread thread_;
    std::atomic<int> sends_{0};
    DWORD error_ = 0;
    Status result_;
};

TEST(SasPipeServer, AnswersEachRequestWithOneStatusByte) {
    const std::wstring name = test_pipe();
    ServedPipe served(name);
    ASSERT_TRUE(served.serving()) << served.error();
    const std::string request(1, static_cast<char>(platform::kSasHelperRequest));
    const struct {
        const char* name;
        std::string request;
        std::string answer;
        int sends;  // after this client
    } cases[] = {
        {"request", request, status_byte(SasHelperStatus::Sent), 1},
        {"wrong_byte", "X", status_byte(SasHelperStatus::BadRequest), 1},
        {"two_bytes", request + request, status_byte(SasHelperStatus::BadRequest), 1},
        {"old_text", "SendSAS", status_byte(SasHelperStatus::BadRequest), 1},
        // Says nothing: answered once the request's time is up, and the
        // next client is served after it.
        {"silent", "", status_byte(SasHelperStatus::BadRequest), 1},
        {"request_again", request, status_byte(SasHelperStatus::Sent), 2},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ask(name, c.request), c.answer) << c.name;
        EXPECT_EQ(served.sends(), c.sends) << c.name;
    }
    EXPECT_TRUE(served.stop());
}

TEST(SasPipeServer, ASendThatCannotBeMadeIsFailed) {
    const std::wstring name = test_pipe();
    ServedPipe served(name, false);
    ASSERT_TRUE(served.serving()) << served.error();
    EXPECT_EQ(ask(name, std::string(1, static_cast<char>(platform::kSasHelperRequest))),
              status_byte(SasHelperStatus::Failed));
}

// The host's own code against the service's server, this process standing
// for the service's.
TEST(SasPipeServer, TheHostsExchangeGetsSent) {
    const std::wstring name = test_pipe();
    ServedPipe served(name);
    ASSERT_TRUE(served.serving()) << served.error();
    platform::SasHelperEndpoint endpoint;
    endpoint.pipe = name;
    endpoint.trustedServer = [] { return std::optional<std::uint32_t>(GetCurrentProcessId()); };
    const auto sas = platform::make_win32_sas_system(std::move(endpoint));
    EXPECT_EQ(sas->sender(), platform::SasSender::Service);
    EXPECT_TRUE(sas->sendSas(platform::SasSender::Service));
    EXPECT_EQ(served.sends(), 1);
}

TEST(SasPipeServer, StopEndsItWhileItWaitsAndWhileAClientSaysNothing) {
    {
        ServedPipe served(test_pipe());
        ASSERT_TRUE(served.serving()) << served.error();
        EXPECT_TRUE(served.stop());
    }
    const std::wstring name = test_pipe();
    ServedPipe served(name);
    ASSERT_TRUE(served.serving()) << served.error();
    ASSERT_TRUE(WaitNamedPipeW(name.c_str(), 20000));
    const HANDLE silent = CreateFileW(name.c_str(), GENERIC_READ | FILE_WRITE_DATA, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(silent, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(served.stop());
    CloseHandle(silent);
    EXPECT_EQ(served.sends(), 0);
}

// "Stopped" is told only once the pipe is gone: whoever sees it may start
// the service again at once (the service manager restarting it, setup's
// --start), and the new process's FILE_FLAG_FIRST_PIPE_INSTANCE fails
// while the old pipe exists.
TEST(SasPipeServer, StoppedIsReportedOnceThePipeIsGone) {
    const std::wstring name = test_pipe();
    Event stop, running;
    std::vector<DWORD> states;
    DWORD stoppedExit = 1;
    DWORD openAtStopped = 0;
    std::thread service([&] {
        serve_until_stopped(name, stop.h, [](HANDLE) { return true; }, [&](DWORD state, DWORD exitCode) {
            states.push_back(state);
            if (state == SERVICE_RUNNING) SetEvent(running.h);
            if (state != SERVICE_STOPPED) return;
            stoppedExit = exitCode;
            const HANDLE h =
                CreateFileW(name.c_str(), GENERIC_READ | FILE_WRITE_DATA, 0, nullptr, OPEN_EXISTING, 0, nullptr);
            openAtStopped = h == INVALID_HANDLE_VALUE ? GetLastError() : ERROR_SUCCESS;
            if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
        });
    });
    EXPECT_EQ(WaitForSingleObject(running.h, 20000), WAIT_OBJECT_0);
    EXPECT_EQ(ask(name, std::string(1, static_cast<char>(platform::kSasHelperRequest))),
              status_byte(SasHelperStatus::Sent));
    SetEvent(stop.h);
    service.join();
    EXPECT_EQ(states, (std::vector<DWORD>{SERVICE_START_PENDING, SERVICE_RUNNING, SERVICE_STOPPED}));
    EXPECT_EQ(stoppedExit, DWORD{NO_ERROR});
    EXPECT_EQ(openAtStopped, DWORD{ERROR_FILE_NOT_FOUND}) << "the pipe was still there";
}

// Whether this system refuses FILE_FLAG_FIRST_PIPE_INSTANCE for a name that
// exists, as Windows does. Wine 8 ignores the flag (and a second instance
// count) and hands out another instance of the existing pipe.
bool first_instance_flag_honoured() {
    const std::wstring name = test_pipe() + L"-probe";
    const HANDLE first = CreateNamedPipeW(name.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_MESSAGE | PIPE_WAIT,
                                          PIPE_UNLIMITED_INSTANCES, 16, 16, 0, nullptr);
    if (first == INVALID_HANDLE_VALUE) return true;
    const HANDLE second = CreateNamedPipeW(name.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_FIRST_PIPE_INSTANCE,
                                           PIPE_TYPE_MESSAGE | PIPE_WAIT, PIPE_UNLIMITED_INSTANCES, 16, 16, 0, nullptr);
    if (second != INVALID_HANDLE_VALUE) CloseHandle(second);
    CloseHandle(first);
    return second == INVALID_HANDLE_VALUE;
}

// Once the service's pipe exists, no one adds an instance to it.
TEST(SasPipeServer, NoOneElseAddsAnInstance) {
    const std::wstring name = test_pipe();
    ServedPipe served(name);
    ASSERT_TRUE(served.serving()) << served.error();
    const HANDLE second = CreateNamedPipeW(name.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_MESSAGE | PIPE_WAIT,
                                           PIPE_UNLIMITED_INSTANCES, 16, 16, 0, nullptr);
    EXPECT_EQ(second, INVALID_HANDLE_VALUE);
    if (second != INVALID_HANDLE_VALUE) CloseHandle(second);
}

// Whoever holds the name first keeps it: the service does not serve beside
// a pipe that someone else made.
TEST(SasPipeServer, APipeSomeoneElseMadeIsNotShared) {
    if (!first_instance_flag_honoured()) GTEST_SKIP() << "this system ignores FILE_FLAG_FIRST_PIPE_INSTANCE";
    const std::wstring name = test_pipe();
    const HANDLE squatter = CreateNamedPipeW(name.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_MESSAGE | PIPE_WAIT,
                                             PIPE_UNLIMITED_INSTANCES, 16, 16, 0, nullptr);
    ASSERT_NE(squatter, INVALID_HANDLE_VALUE);
    const auto refused = PipeServer::create(name);
    CloseHandle(squatter);
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.error(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

// ------------------------------------------------------ the installed service

std::optional<DWORD> run_sas_program(const wchar_t* argument) {
    const std::wstring program = fs::path(HP_SAS_SERVICE_EXE).wstring();
    std::wstring command = L"\"" + program + L"\" " + argument;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(program.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process))
        return std::nullopt;
    CloseHandle(process.hThread);
    std::optional<DWORD> code;
    DWORD exit = 0;
    if (WaitForSingleObject(process.hProcess, 120000) == WAIT_OBJECT_0 && GetExitCodeProcess(process.hProcess, &exit))
        code = exit;
    CloseHandle(process.hProcess);
    return code;
}

std::optional<DWORD> read_dword(const wchar_t* key, const wchar_t* name) {
    DWORD value = 0;
    DWORD size = sizeof value;
    if (RegGetValueW(HKEY_LOCAL_MACHINE, key, name, RRF_RT_REG_DWORD, nullptr, &value, &size) != ERROR_SUCCESS)
        return std::nullopt;
    return value;
}

void set_policy(std::optional<DWORD> value) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, kPolicyKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    if (value) {
        RegSetValueExW(key, kPolicyValue, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&*value), sizeof *value);
    } else {
        RegDeleteValueW(key, kPolicyValue);
    }
    RegCloseKey(key);
}

bool record_key_exists() {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kRecordKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

std::optional<DWORD> service_state() {
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    if (!manager) return std::nullopt;
    std::optional<DWORD> state;
    if (SC_HANDLE service = OpenServiceW(manager, kServiceName, SERVICE_QUERY_STATUS)) {
        SERVICE_STATUS status{};
        if (QueryServiceStatus(service, &status)) state = status.dwCurrentState;
        CloseServiceHandle(service);
    }
    CloseServiceHandle(manager);
    return state;
}

// The installed service's failure actions and their flag, as the service
// control manager reads them back: "reset <s>: <action> <ms>, ...; also on
// errors" (the flag set) or "; only on crashes".
std::optional<std::string> failure_actions() {
    const SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    if (!manager) return std::nullopt;
    const SC_HANDLE service = OpenServiceW(manager, kServiceName, SERVICE_QUERY_CONFIG);
    CloseServiceHandle(manager);
    if (!service) return std::nullopt;
    std::vector<BYTE> buffer(8192);
    DWORD needed = 0;
    std::string out;
    if (QueryServiceConfig2W(service, SERVICE_CONFIG_FAILURE_ACTIONS, buffer.data(),
                             static_cast<DWORD>(buffer.size()), &needed)) {
        const auto& actions = *reinterpret_cast<const SERVICE_FAILURE_ACTIONSW*>(buffer.data());
        out = "reset " + std::to_string(actions.dwResetPeriod) + ":";
        for (DWORD i = 0; i < actions.cActions; ++i) {
            const SC_ACTION& a = actions.lpsaActions[i];
            const char* type = a.Type == SC_ACTION_RESTART ? "restart" : a.Type == SC_ACTION_NONE ? "none" : "other";
            out += std::string(i ? ", " : " ") + type + " " + std::to_string(a.Delay);
        }
    } else {
        CloseServiceHandle(service);
        return std::nullopt;
    }
    SERVICE_FAILURE_ACTIONS_FLAG flag{};
    if (QueryServiceConfig2W(service, SERVICE_CONFIG_FAILURE_ACTIONS_FLAG, reinterpret_cast<BYTE*>(&flag),
                             sizeof flag, &needed)) {
        out += flag.fFailureActionsOnNonCrashFailures ? "; also on errors" : "; only on crashes";
    } else {
        out += "; flag not read (" + std::to_string(GetLastError()) + ")";
    }
    CloseServiceHandle(service);
    return out;
}

// What set_failure_actions asks of the service control manager, read from
// the structures it hands over, in the notation of failure_actions().
struct RecordedChange {
    std::vector<std::string> calls;
    DWORD refuseLevel = 0;  // answered with ERROR_ACCESS_DENIED
    ServiceConfigChange function() {
        return [this](SC_HANDLE, DWORD level, void* info) -> BOOL {
            if (level == SERVICE_CONFIG_FAILURE_ACTIONS) {
                const auto& a = *static_cast<const SERVICE_FAILURE_ACTIONSW*>(info);
                std::string call = "reset " + std::to_string(a.dwResetPeriod) + ":";
                for (DWORD i = 0; i < a.cActions; ++i) {
                    const SC_ACTION& action = a.lpsaActions[i];
                    const char* type = action.Type == SC_ACTION_RESTART ? "restart"
                                       : action.Type == SC_ACTION_NONE  ? "none"
                                                                        : "other";
                    call += std::string(i ? ", " : " ") + type + " " + std::to_string(action.Delay);
                }
                call += a.lpRebootMsg || a.lpCommand ? " (message or command changed)" : "";
                calls.push_back(call);
            } else if (level == SERVICE_CONFIG_FAILURE_ACTIONS_FLAG) {
                calls.push_back(static_cast<const SERVICE_FAILURE_ACTIONS_FLAG*>(info)->fFailureActionsOnNonCrashFailures
                                    ? "flag on"
                                    : "flag off");
            } else {
                calls.push_back("level " + std::to_string(level));
            }
            if (level != refuseLevel) return TRUE;
            SetLastError(ERROR_ACCESS_DENIED);
            return FALSE;
        };
    }
};

// Restart after 5 s, twice, then no more (a later failure repeats the last
// action), also when the service reports "stopped" with an error; a refused
// setting is reported.
TEST(SasServiceSetup, FailureActionsRestartTwiceAfterFiveSeconds) {
    const std::string actions = "reset 86400: restart 5000, restart 5000, none 0";
    const struct {
        const char* name;
        DWORD refuse;
        bool result;
        std::vector<std::string> calls;
    } cases[] = {
        {"accepted", 0, true, {actions, "flag on"}},
        {"actions_refused", SERVICE_CONFIG_FAILURE_ACTIONS, false, {actions}},
        {"flag_refused", SERVICE_CONFIG_FAILURE_ACTIONS_FLAG, false, {actions, "flag on"}},
    };
    for (const auto& c : cases) {
        RecordedChange change;
        change.refuseLevel = c.refuse;
        const auto fakeService = reinterpret_cast<SC_HANDLE>(static_cast<std::uintptr_t>(0x5c));
        EXPECT_EQ(set_failure_actions(fakeService, change.function()), c.result) << c.name;
        EXPECT_EQ(change.calls, c.calls) << c.name;
    }
}

// The recording sas.dll in the prefix's system directory for the test's
// duration, preferred by Wine to its built-in one; the prefix's own file
// and the calls file are put back or removed afterwards.
class RecordingSasDll {
public:
    RecordingSasDll()
        : where_(testing_win32::system_directory() / "sas.dll"),
          kept_(where_.wstring() + L".hp-kept"),
          calls_(where_.wstring() + L".calls"),
          override_(L"sas") {
        std::error_code ec;
        fs::remove(calls_, ec);
        if (fs::exists(where_) && !fs::exists(kept_)) fs::rename(where_, kept_, ec);
        ok_ = override_.ok() &&
              fs::copy_file(fs::path(HP_STUB_DIR) / "recording" / "sas.dll", where_,
                            fs::copy_options::overwrite_existing, ec);
    }
    RecordingSasDll(const RecordingSasDll&) = delete;
    RecordingSasDll& operator=(const RecordingSasDll&) = delete;
    ~RecordingSasDll() {
        std::error_code ec;
        fs::remove(where_, ec);
        fs::remove(calls_, ec);
        if (fs::exists(kept_)) fs::rename(kept_, where_, ec);
    }
    bool ok() const { return ok_; }
    std::vector<std::string> calls() const { return testing_win32::read_lines(calls_); }

private:
    fs::path where_, kept_, calls_;
    testing_win32::NativeOverride override_;
    bool ok_ = false;
};

// Installs nothing by itself; makes sure that no service of ours is left in
// the prefix (an automatic service would start with every later Wine run)
// and that the policy is as it was.
class InstalledService : public ::testing::Test {
protected:
    void SetUp() override {
        const SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CREATE_SERVICE);
        if (!manager) GTEST_SKIP() << "no service control manager that lets this process install";
        CloseServiceHandle(manager);
        ASSERT_TRUE(fs::exists(HP_SAS_SERVICE_EXE)) << HP_SAS_SERVICE_EXE;
        ASSERT_EQ(run_sas_program(kUninstallArgument), DWORD{kExitOk});
        policyBefore_ = read_dword(kPolicyKey, kPolicyValue);
        entryBefore_ = record_key_exists();
    }
    void TearDown() override {
        if (IsSkipped()) return;
        (void)run_sas_program(kUninstallArgument);
        set_policy(policyBefore_);
    }
    std::optional<DWORD> policyBefore_;
    bool entryBefore_ = false;  // an uninstall entry of an installer's
};

std::shared_ptr<platform::SasSystem> host_sas() { return platform::make_win32_sas_system(); }

TEST_F(InstalledService, InstallsRunsSendsStopsAndUninstallsPuttingThePolicyBack) {
    RecordingSasDll sasDll;
    ASSERT_TRUE(sasDll.ok());
    set_policy(2);  // Ease of Access programs only

    ASSERT_EQ(run_sas_program(kInstallArgument), DWORD{kExitOk});
    EXPECT_EQ(service_state(), DWORD{SERVICE_RUNNING});
    EXPECT_EQ(read_dword(kPolicyKey, kPolicyValue), DWORD{3});
    EXPECT_EQ(read_dword(kRecordKey, kRecordedValue), DWORD{1});
    EXPECT_EQ(read_dword(kRecordKey, kFoundValue), DWORD{2});
    EXPECT_EQ(read_dword(kRecordKey, kWrittenValue), DWORD{3});

    // A service that ends without reporting "stopped", or reports it with
    // an error, is started again after 5 s, twice. Wine 8 keeps neither
    // setting (it answers ERROR_INVALID_LEVEL): SasServiceSetup shows what
    // is asked.
    if (const auto failure = failure_actions()) {
        EXPECT_EQ(*failure, "reset 86400: restart 5000, restart 5000, none 0; also on errors");
    }

    // The host, as it runs: the real pipe, served by the service's process.
    EXPECT_EQ(sas::decide(*host_sas()), sas::Outcome::Ok);
    EXPECT_EQ(sasDll.calls(), (std::vector<std::string>{"SendSAS 0 impersonating"}));

    // An upgrade: configured and started again, the first finding kept.
    ASSERT_EQ(run_sas_program(kInstallArgument), DWORD{kExitOk});
    EXPECT_EQ(service_state(), DWORD{SERVICE_RUNNING});
    EXPECT_EQ(read_dword(kRecordKey, kFoundValue), DWORD{2});
    EXPECT_EQ(sas::decide(*host_sas()), sas::Outcome::Ok);

    ASSERT_EQ(run_sas_program(kStopArgument), DWORD{kExitOk});
    EXPECT_EQ(service_state(), DWORD{SERVICE_STOPPED});
    EXPECT_EQ(sas::decide(*host_sas()), sas::Outcome::Unavailable);
    ASSERT_EQ(run_sas_program(kStartArgument), DWORD{kExitOk});
    EXPECT_EQ(service_state(), DWORD{SERVICE_RUNNING});
    EXPECT_EQ(sas::decide(*host_sas()), sas::Outcome::Ok);
    EXPECT_EQ(sasDll.calls().size(), 3u);

    ASSERT_EQ(run_sas_program(kUninstallArgument), DWORD{kExitOk});
    EXPECT_EQ(service_state(), std::nullopt);
    EXPECT_EQ(read_dword(kPolicyKey, kPolicyValue), DWORD{2});
    EXPECT_EQ(read_dword(kRecordKey, kRecordedValue), std::nullopt);
    EXPECT_EQ(read_dword(kRecordKey, kFoundValue), std::nullopt);
    EXPECT_EQ(read_dword(kRecordKey, kWrittenValue), std::nullopt);
    if (!entryBefore_) {
        EXPECT_FALSE(record_key_exists()) << "the key it made is left";
    }

    // Nothing installed: stopping and uninstalling are done, starting is not.
    EXPECT_EQ(run_sas_program(kStopArgument), DWORD{kExitOk});
    EXPECT_EQ(run_sas_program(kUninstallArgument), DWORD{kExitOk});
    EXPECT_EQ(run_sas_program(kStartArgument), DWORD{kExitNotInstalled});
    EXPECT_EQ(run_sas_program(L"--bogus"), DWORD{kExitUsage});
    EXPECT_EQ(run_sas_program(kServiceArgument), DWORD{kExitNotAService});
}

// While the service is stopped a user creates its pipe: the host does not
// take that pipe's "sent", and (where the system honours
// FILE_FLAG_FIRST_PIPE_INSTANCE) the service does not start beside it.
TEST_F(InstalledService, ASquattersPipeIsNeitherBelievedNorShared) {
    set_policy(std::nullopt);
    ASSERT_EQ(run_sas_program(kInstallArgument), DWORD{kExitOk});
    ASSERT_EQ(run_sas_program(kStopArgument), DWORD{kExitOk});
    const HANDLE squatter = CreateNamedPipeW(platform::kSasHelperPipe, PIPE_ACCESS_DUPLEX,
                                             PIPE_TYPE_MESSAGE | PIPE_WAIT, PIPE_UNLIMITED_INSTANCES, 16, 16, 0,
                                             nullptr);
    ASSERT_NE(squatter, INVALID_HANDLE_VALUE);
    std::string request;
    std::thread answering([squatter, &request] {
        if (!ConnectNamedPipe(squatter, nullptr) && GetLastError() != ERROR_PIPE_CONNECTED) return;
        const char sent = static_cast<char>(SasHelperStatus::Sent);
        DWORD n = 0;
        WriteFile(squatter, &sent, 1, &n, nullptr);
        char buffer[16];
        // Returns when the client closes its end.
        if (ReadFile(squatter, buffer, sizeof buffer, &n, nullptr)) request.assign(buffer, n);
        DisconnectNamedPipe(squatter);
    });
    const auto host = host_sas();
    EXPECT_EQ(host->sender(), platform::SasSender::Service);
    EXPECT_EQ(sas::decide(*host), sas::Outcome::Unavailable);
    answering.join();
    EXPECT_EQ(request, "");  // nothing was asked of it
    if (first_instance_flag_honoured()) {
        EXPECT_EQ(run_sas_program(kStartArgument), DWORD{kExitStartFailed});
    }
    CloseHandle(squatter);
    ASSERT_EQ(run_sas_program(kUninstallArgument), DWORD{kExitOk});
    EXPECT_EQ(read_dword(kPolicyKey, kPolicyValue), std::nullopt);
}

}  // namespace
}  // namespace hp::sas_service
