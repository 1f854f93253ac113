// The ViGEmBus client against a bus that records every request as bytes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/fake/fake_virtual_pad_bus.h"
#include "vigem/client.h"
#include "vigem/records.h"

namespace hp::vigem {
namespace {

using fake::PadRequest;

template <std::size_t N>
PadRequest req(std::uint32_t code, const std::array<std::uint8_t, N>& record) {
    return {code, Bytes(record.begin(), record.end())};
}

PadRequest version() { return req(kCheckVersion, check_version_record()); }
PadRequest plug(std::uint32_t serial) { return req(kPlugInTarget, plug_in_record(serial)); }
PadRequest ready(std::uint32_t serial) { return req(kWaitUntilReady, wait_until_ready_record(serial)); }
PadRequest unplug(std::uint32_t serial) { return req(kUnplugTarget, unplug_record(serial)); }

using Requests = std::vector<PadRequest>;

TEST(PlugIn, UsesSerialOneAndWaitsUntilReady) {
    fake::FakeVirtualPadBus bus;
    auto pad = VirtualPad::plugIn(bus);
    ASSERT_TRUE(pad);
    EXPECT_EQ(pad->serial(), 1u);
    EXPECT_EQ(bus.requests(), (Requests{version(), plug(1), ready(1)}));
    EXPECT_EQ(bus.openDevices(), 1);
}

TEST(PlugIn, LandsOnSerialTwoWhenOneIsTaken) {
    fake::FakeVirtualPadBus bus;
    bus.refuseSerial(1);
    auto pad = VirtualPad::plugIn(bus);
    ASSERT_TRUE(pad);
    EXPECT_EQ(pad->serial(), 2u);
    EXPECT_EQ(bus.requests(), (Requests{version(), plug(1), plug(2), ready(2)}));
}

TEST(PlugIn, WaitRefusedAsAnInvalidParameterStillCountsAsReady) {
    fake::FakeVirtualPadBus bus;
    bus.failRequest(kWaitUntilReady, kErrorInvalidParameter);
    auto pad = VirtualPad::plugIn(bus);
    ASSERT_TRUE(pad);
    EXPECT_EQ(pad->serial(), 1u);
    EXPECT_EQ(bus.requests(), (Requests{version(), plug(1), ready(1)}));
}

TEST(PlugIn, AnyOtherWaitFailureUnplugsAndCloses) {
    fake::FakeVirtualPadBus bus;
    bus.failRequest(kWaitUntilReady, 31);  // ERROR_GEN_FAILURE
    EXPECT_FALSE(VirtualPad::plugIn(bus));
    EXPECT_EQ(bus.requests(), (Requests{version(), plug(1), ready(1), unplug(1)}));
    EXPECT_EQ(bus.openDevices(), 0);
}

TEST(PlugIn, FailsWithoutTheDriverOrItsVersionOrAnyFreeSerial) {
    fake::FakeVirtualPadBus absent;
    absent.setPresent(false);
    EXPECT_FALSE(VirtualPad::plugIn(absent));
    EXPECT_FALSE(probe(absent));
    EXPECT_TRUE(absent.requests().empty());

    fake::FakeVirtualPadBus oldDriver;
    oldDriver.failRequest(kCheckVersion, 1);
    EXPECT_FALSE(probe(oldDriver));
    EXPECT_FALSE(VirtualPad::plugIn(oldDriver));
    EXPECT_EQ(oldDriver.openDevices(), 0);

    fake::FakeVirtualPadBus full;
    full.failRequest(kPlugInTarget, 548);
    EXPECT_FALSE(VirtualPad::plugIn(full));
    const Requests sent = full.requests();
    ASSERT_EQ(sent.size(), 1u + 65534u);  // the version check, then every serial from 1 to 65534
    EXPECT_EQ(sent[1], plug(1));
    EXPECT_EQ(sent.back(), plug(65534));
    EXPECT_EQ(full.openDevices(), 0);
}

TEST(Probe, OpensAndClosesTheDevice) {
    fake::FakeVirtualPadBus bus;
    EXPECT_TRUE(probe(bus));
    EXPECT_EQ(bus.requests(), Requests{version()});
    EXPECT_EQ(bus.openDevices(), 0);
}

TEST(VirtualPadLifetime, UnplugsWhenTheLastReferenceGoes) {
    fake::FakeVirtualPadBus bus;
    bus.refuseSerial(1);
    auto pad = VirtualPad::plugIn(bus);
    ASSERT_TRUE(pad);
    auto second = pad;
    bus.clearRequests();

    pad.reset();
    EXPECT_TRUE(bus.requests().empty());
    EXPECT_EQ(bus.openDevices(), 1);

    second.reset();
    EXPECT_EQ(bus.requests(), Requests{unplug(2)});
    EXPECT_EQ(bus.openDevices(), 0);
}

TEST(VirtualPadLifetime, SubmitSendsTheReportForTheState) {
    fake::FakeVirtualPadBus bus;
    auto pad = VirtualPad::plugIn(bus);
    ASSERT_TRUE(pad);
    bus.clearRequests();
    PadState s;
    s.buttons = 0x7FF;
    s.dpad = 9;
    s.leftTrigger = 64;
    s.rightY = -2;
    pad->submit(s);
    EXPECT_EQ(bus.requests(), Requests{req(kSubmitXbox360Report, submit_record(1, to_report(s)))});
    EXPECT_EQ(bus.requests()[0].input,
              (Bytes{20, 0, 0, 0, 1, 0, 0, 0, 0xF0, 0xF7, 64, 0, 0, 0, 0, 0, 0, 0, 0xFE, 0xFF}));
}

}  // namespace
}  // namespace hp::vigem
