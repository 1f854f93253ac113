// The real ViGEmBus bus against the system (Wine has no such driver): the
// probe and the plug-in fail cleanly and the holder only logs the failure.
// The bounded wait that every device request goes through, on a pipe whose
// read never completes by itself.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "platform/win32/overlapped_wait.h"
#include "platform/win32/win32_system.h"
#include "vigem/client.h"
#include "vigem/pad_holder.h"
#include "vigem/records.h"

namespace hp::platform {
namespace {

TEST(VirtualPadBus, OpenFailsCleanlyWithoutTheDriver) {
    auto bus = make_virtual_pad_bus();
    const auto record = vigem::check_version_record();
    auto device = bus->open(vigem::kCheckVersion, record);
    ASSERT_FALSE(device);
    EXPECT_NE(device.error().text.find("ViGEmBus"), std::string::npos) << device.error().text;
    EXPECT_FALSE(vigem::probe(*bus));
    EXPECT_FALSE(vigem::VirtualPad::plugIn(*bus));
}

// Runs work at once on the calling thread, at a time that stands still.
class InlineScheduler : public vigem::Scheduler {
public:
    bool runAfter(std::chrono::milliseconds, std::function<void()> work) override {
        work();
        return true;
    }
    Instant now() const override { return Instant{} + std::chrono::hours(1); }
};

TEST(VirtualPadBus, HolderLogsAFailedPlugInAndSendsNothing) {
    std::vector<std::string> log;
    vigem::PadHolder holder(make_virtual_pad_bus(), [&log](std::string_view t) { log.emplace_back(t); },
                            std::make_shared<InlineScheduler>());
    holder.setSwitch(true, false);
    host::PadState pressed;
    pressed.buttons = 1;
    // Within a second of the refusal, reports try no other plug-in.
    holder.submit(pressed);
    holder.neutral();
    holder.setSwitch(false, false);
    EXPECT_EQ(log, (std::vector<std::string>{"switch on", "plug-in failed", "switch off"}));
    EXPECT_FALSE(holder.plugged());
}

// ------------------------------------------------------------ bounded waits

// An overlapped request that only completes when the test says so: a read
// from a pipe nobody writes to.
class PendingRead : public ::testing::Test {
protected:
    void SetUp() override {
        const std::wstring name =
            L"\\\\.\\pipe\\hearthpad-wait-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
            std::to_wstring(GetTickCount64());
        server_ = CreateNamedPipeW(name.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                   PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, 1, 64, 64, 0, nullptr);
        ASSERT_NE(server_, INVALID_HANDLE_VALUE);
        client_ = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(client_, INVALID_HANDLE_VALUE);
        event_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
        ASSERT_NE(event_, nullptr);
        overlapped_.hEvent = event_;
        ASSERT_FALSE(ReadFile(server_, buffer_, sizeof buffer_, nullptr, &overlapped_));
        ASSERT_EQ(GetLastError(), static_cast<DWORD>(ERROR_IO_PENDING));
    }
    void TearDown() override {
        if (server_ != INVALID_HANDLE_VALUE && !HasOverlappedIoCompleted(&overlapped_)) {
            CancelIoEx(server_, &overlapped_);
            wait_completed(overlapped_, std::chrono::seconds(10));
        }
        if (client_ != INVALID_HANDLE_VALUE) CloseHandle(client_);
        if (server_ != INVALID_HANDLE_VALUE) CloseHandle(server_);
        if (event_) CloseHandle(event_);
    }

    HANDLE server_ = INVALID_HANDLE_VALUE;
    HANDLE client_ = INVALID_HANDLE_VALUE;
    HANDLE event_ = nullptr;
    OVERLAPPED overlapped_{};
    char buffer_[16] = {};
};

TEST_F(PendingRead, IsCancelledAfterTheBoundAndWaitedFor) {
    const OverlappedOutcome outcome = wait_overlapped(server_, overlapped_, std::chrono::milliseconds(50));
    EXPECT_TRUE(outcome.cancelled);
    ASSERT_TRUE(outcome.completed);
    EXPECT_EQ(outcome.error, static_cast<DWORD>(ERROR_OPERATION_ABORTED));
    // Nothing of the request is left pending: its OVERLAPPED may go.
    EXPECT_TRUE(HasOverlappedIoCompleted(&overlapped_));
}

TEST_F(PendingRead, ThatCompletesWithinTheBoundGivesItsResult) {
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(client_, "ready", 5, &written, nullptr));
    const OverlappedOutcome outcome = wait_overlapped(server_, overlapped_, std::chrono::seconds(30));
    EXPECT_FALSE(outcome.cancelled);
    ASSERT_TRUE(outcome.completed);
    EXPECT_EQ(outcome.error, 0u);
    EXPECT_EQ(outcome.transferred, 5u);
    EXPECT_EQ(std::string(buffer_, 5), "ready");
}

}  // namespace
}  // namespace hp::platform
