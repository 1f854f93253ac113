// Ctrl+Alt+Del on Windows: a desktop program (elevated or not) is no sender
// of the sequence; the installer's helper service is asked over its pipe,
// and only its "sent" counts. Here a thread of the test plays the helper on
// a pipe of its own name.
#include <gtest/gtest.h>

#include <windows.h>

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

// One instance of the helper's pipe, served once on a thread: it reads the
// request and writes `answer` (nothing: it closes without one).
class Helper {
public:
    Helper(const std::wstring& name, std::string answer) : name_(name), answer_(std::move(answer)) {
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
    // The request as read, once the exchange is over ("" when no one asked).
    std::string request() {
        finish();
        return request_;
    }

private:
    // A helper still waiting for its client is released by a connection
    // that asks nothing.
    void finish() {
        if (!thread_.joinable()) return;
        const HANDLE nobody = CreateFileW(name_.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                                          nullptr);
        if (nobody != INVALID_HANDLE_VALUE) CloseHandle(nobody);
        thread_.join();
    }

    void serve() {
        if (!ConnectNamedPipe(pipe_, nullptr) && GetLastError() != ERROR_PIPE_CONNECTED) return;
        char buffer[256];
        DWORD got = 0;
        if (ReadFile(pipe_, buffer, sizeof buffer, &got, nullptr)) request_.assign(buffer, got);
        if (!answer_.empty()) {
            DWORD written = 0;
            WriteFile(pipe_, answer_.data(), static_cast<DWORD>(answer_.size()), &written, nullptr);
            FlushFileBuffers(pipe_);
        }
        DisconnectNamedPipe(pipe_);
    }

    std::wstring name_;
    std::string answer_;
    HANDLE pipe_ = INVALID_HANDLE_VALUE;
    std::thread thread_;
    std::string request_;
};

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

TEST_F(ServicesMaySend, TheHelpersSentIsTheOnlyOk) {
    const struct {
        const char* answer;
        sas::Outcome expected;
    } cases[] = {
        {"sent", sas::Outcome::Ok},
        {"refused", sas::Outcome::Unavailable},
        {"", sas::Outcome::Unavailable},  // closes without an answer
    };
    for (const auto& c : cases) {
        const std::wstring name = test_pipe();
        Helper helper(name, c.answer);
        ASSERT_TRUE(helper.listening());
        const auto sas = make_win32_sas_system(name);
        EXPECT_EQ(sas->sender(), SasSender::Service) << c.answer;
        EXPECT_EQ(sas::decide(*sas), c.expected) << c.answer;
        EXPECT_EQ(helper.request(), kSasHelperRequest) << c.answer;
    }
}

}  // namespace
}  // namespace hp::platform
