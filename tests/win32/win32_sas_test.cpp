// Ctrl+Alt+Del on Windows: a desktop program (elevated or not) is no sender
// of the sequence; the installer's helper service is asked over its pipe,
// and only its "sent", from the service's own process, counts. Here a thread
// of the test plays the helper on a pipe of its own name, and the test names
// its own process as the service's where it wants the answer trusted.
#include <gtest/gtest.h>

#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <thread>

#include "platform/win32/sas_helper.h"
#include "platform/win32/win32_system.h"
#include "sas/sas.h"

namespace hp::platform {
namespace {

std::wstring test_pipe() {
    return L"\\\\.\\pipe\\HearthpadSasTest-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
           std::to_wstring(GetTickCount64());
}

std::string byte(SasHelperStatus s) { return std::string(1, static_cast<char>(s)); }

// One instance of the helper's pipe, served once on a thread: it reads the
// request and writes `answer` ("": it closes without one). A silent helper
// writes nothing and holds the pipe open until the client gives up.
class Helper {
public:
    Helper(const std::wstring& name, std::string answer, bool silent = false)
        : name_(name), answer_(std::move(answer)), silent_(silent) {
        pipe_ = CreateNamedPipeW(name.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT,
                                 1, 256, 256, 0, nullptr);
        if (pipe_ == INVALID_HANDLE_VALUE) return;
        thread_ = std::thread([this] { serve(); });
    }
    Helper(const Helper&) = delete;
    Helper& operator=(const Helper&) = delete;
    ~Helper() {
        finish();
        if (pipe_ != INVALID_HANDLE_VALUE) CloseHandle(pipe_);
    }
    bool listening() const { return pipe_ != INVALID_HANDLE_VALUE; }
    // The request as read, once the exchange is over ("" when nothing was
    // written to the pipe).
    std::string request() {
        finish();
        return request_;
    }

private:
    // A helper still waiting for its client is released by a connection
    // that asks nothing.
    void finish() {
        if (!thread_.joinable()) return;
        const HANDLE nobody = CreateFileW(name_.c_str(), GENERIC_READ | FILE_WRITE_DATA, 0, nullptr, OPEN_EXISTING, 0,
                                          nullptr);
        if (nobody != INVALID_HANDLE_VALUE) CloseHandle(nobody);
        thread_.join();
    }

    void serve() {
        if (!ConnectNamedPipe(pipe_, nullptr) && GetLastError() != ERROR_PIPE_CONNECTED) return;
        char buffer[256];
        DWORD got = 0;
        if (ReadFile(pipe_, buffer, sizeof buffer, &got, nullptr)) request_.assign(buffer, got);
        if (silent_) {
            // Returns when the client closes its end.
            (void)ReadFile(pipe_, buffer, sizeof buffer, &got, nullptr);
        } else if (!answer_.empty()) {
            DWORD written = 0;
            WriteFile(pipe_, answer_.data(), static_cast<DWORD>(answer_.size()), &written, nullptr);
            FlushFileBuffers(pipe_);
        }
        DisconnectNamedPipe(pipe_);
    }

    std::wstring name_;
    std::string answer_;
    bool silent_;
    HANDLE pipe_ = INVALID_HANDLE_VALUE;
    std::thread thread_;
    std::string request_;
};

// The helper as seen by the host, with this test's process as the one the
// service runs in.
std::shared_ptr<SasSystem> trusting_this_process(const std::wstring& pipe) {
    SasHelperEndpoint endpoint;
    endpoint.pipe = pipe;
    endpoint.trustedServer = [] { return std::optional<std::uint32_t>(GetCurrentProcessId()); };
    return make_win32_sas_system(std::move(endpoint));
}

// The policy value that lets services send the sequence, for one test.
class ServicesMaySend : public ::testing::Test {
protected:
    void SetUp() override {
        if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\System", 0,
                            nullptr, 0, KEY_SET_VALUE, nullptr, &key_, nullptr) != ERROR_SUCCESS)
            GTEST_SKIP() << "no write access to the policy key";
        const DWORD one = 1;
        ASSERT_EQ(RegSetValueExW(key_, L"SoftwareSASGeneration", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one),
                                 sizeof one),
                  ERROR_SUCCESS);
    }
    void TearDown() override {
        if (!key_) return;
        RegDeleteValueW(key_, L"SoftwareSASGeneration");
        RegCloseKey(key_);
    }
    HKEY key_ = nullptr;
};

// The test program is an ordinary desktop program (under Wine even an
// elevated one, with sas.dll in the system directory): calling SendSAS
// itself would do nothing on Windows, so it must not answer "sas_ok".
TEST_F(ServicesMaySend, WithoutTheHelperADesktopProgramAnswersUnavailable) {
    const auto sas = make_win32_sas_system(test_pipe());
    EXPECT_EQ(sas->sender(), SasSender::None);
    EXPECT_FALSE(sas->sendSas(SasSender::Service));
    EXPECT_EQ(sas::decide(*sas), sas::Outcome::Unavailable);
}

TEST_F(ServicesMaySend, TheServicesSentIsTheOnlyOk) {
    const struct {
        const char* name;
        std::string answer;
        bool silent;
        sas::Outcome expected;
    } cases[] = {
        {"sent", byte(SasHelperStatus::Sent), false, sas::Outcome::Ok},
        {"refused", byte(SasHelperStatus::Refused), false, sas::Outcome::Unavailable},
        {"failed", byte(SasHelperStatus::Failed), false, sas::Outcome::Unavailable},
        {"bad_request", byte(SasHelperStatus::BadRequest), false, sas::Outcome::Unavailable},
        {"sent_twice", byte(SasHelperStatus::Sent) + byte(SasHelperStatus::Sent), false, sas::Outcome::Unavailable},
        {"old_text", "sent", false, sas::Outcome::Unavailable},
        {"closed_without_answer", "", false, sas::Outcome::Unavailable},
        // The exchange's bound ends the wait.
        {"silent", "", true, sas::Outcome::Unavailable},
    };
    for (const auto& c : cases) {
        const std::wstring name = test_pipe();
        Helper helper(name, c.answer, c.silent);
        ASSERT_TRUE(helper.listening()) << c.name;
        const auto sas = trusting_this_process(name);
        EXPECT_EQ(sas->sender(), SasSender::Service) << c.name;
        EXPECT_EQ(sas::decide(*sas), c.expected) << c.name;
        EXPECT_EQ(helper.request(), std::string(1, static_cast<char>(kSasHelperRequest))) << c.name;
    }
}

// A pipe of the helper's name served by any process but the service's (a
// user may create it while the service is stopped) is not the helper: the
// host does not even write its request to it.
TEST_F(ServicesMaySend, APipeNotServedByTheServiceIsNotTheHelper) {
    const struct {
        const char* name;
        std::function<std::optional<std::uint32_t>()> trusted;
    } cases[] = {
        // Not installed here: the service control manager knows no process.
        {"service_not_installed", [] { return service_process_id(L"HearthpadSasNoSuchService"); }},
        {"service_in_another_process", [] { return std::optional<std::uint32_t>(GetCurrentProcessId() + 4); }},
        {"nothing_known", [] { return std::optional<std::uint32_t>(); }},
    };
    for (const auto& c : cases) {
        const std::wstring name = test_pipe();
        Helper helper(name, byte(SasHelperStatus::Sent));
        ASSERT_TRUE(helper.listening()) << c.name;
        SasHelperEndpoint endpoint;
        endpoint.pipe = name;
        endpoint.trustedServer = c.trusted;
        const auto sas = make_win32_sas_system(std::move(endpoint));
        EXPECT_EQ(sas->sender(), SasSender::Service) << c.name;
        EXPECT_EQ(sas::decide(*sas), sas::Outcome::Unavailable) << c.name;
        EXPECT_EQ(helper.request(), "") << c.name;
    }
}

}  // namespace
}  // namespace hp::platform
