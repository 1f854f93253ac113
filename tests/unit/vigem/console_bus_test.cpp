// The console host's bus: one line per request, plug-in refused below the
// first free serial.
#include <gtest/gtest.h>

#include <sstream>

#include "platform/posix/console_virtual_pad_bus.h"
#include "vigem/client.h"

namespace hp::vigem {
namespace {

TEST(ConsoleBus, PrintsEveryRequestAsCodeAndHexRecord) {
    std::ostringstream out;
    auto bus = platform::make_console_virtual_pad_bus(out);
    auto pad = VirtualPad::plugIn(*bus);
    ASSERT_TRUE(pad);
    PadState s;
    s.buttons = 0x7FF;
    s.leftX = -1;
    pad->submit(s);
    pad.reset();
    EXPECT_EQ(out.str(),
              "platform: padRequest 0x2AA00C 0800000001000000\n"
              "platform: padRequest 0x2AA004 1000000001000000000000005e048e02\n"
              "platform: padRequest 0x2AA010 0800000001000000\n"
              "platform: padRequest 0x2AA808 1400000001000000f0f70000ffff000000000000\n"
              "platform: padRequest 0x2AA008 0800000001000000\n");
}

TEST(ConsoleBus, RefusesSerialsBelowTheFirstFreeOne) {
    std::ostringstream out;
    auto bus = platform::make_console_virtual_pad_bus(out, {.firstFreeSerial = 3});
    auto pad = VirtualPad::plugIn(*bus);
    ASSERT_TRUE(pad);
    EXPECT_EQ(pad->serial(), 3u);
    EXPECT_TRUE(probe(*bus));
}

}  // namespace
}  // namespace hp::vigem
