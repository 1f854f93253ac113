// The real ViGEmBus bus against the system (Wine has no such driver): the
// probe and the plug-in fail cleanly and the holder only logs the failure.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

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

// Runs work at once on the calling thread.
class InlineScheduler : public vigem::Scheduler {
public:
    void runAfter(std::chrono::milliseconds, std::function<void()> work) override { work(); }
};

TEST(VirtualPadBus, HolderLogsFailedPlugInsAndSendsNothing) {
    std::vector<std::string> log;
    vigem::PadHolder holder(make_virtual_pad_bus(), [&log](std::string_view t) { log.emplace_back(t); },
                            std::make_shared<InlineScheduler>());
    holder.setSwitch(true, false);
    host::PadState pressed;
    pressed.buttons = 1;
    holder.submit(pressed);
    holder.neutral();
    holder.setSwitch(false, false);
    EXPECT_EQ(log, (std::vector<std::string>{"switch on", "plug-in failed", "plug-in failed (on demand)",
                                             "switch off"}));
    EXPECT_FALSE(holder.plugged());
}

}  // namespace
}  // namespace hp::platform
