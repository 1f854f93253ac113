// Without an avahi-daemon to talk to there is no responder: the host then
// computes its endpoints and advertises nothing. (The real registration is
// tested in network namespaces by cmake/Mdns.cmake.)
#include <gtest/gtest.h>
#include <stdlib.h>

#include "platform/mdns_responder.h"

namespace hp::platform {
namespace {

TEST(AvahiResponder, NoDaemonMeansNoResponder) {
    // The client finds the daemon through the system bus; point it at a bus
    // that does not exist.
    ::setenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/hearthpad-test-bus", 1);
    auto responder = make_mdns_responder();
    ::unsetenv("DBUS_SYSTEM_BUS_ADDRESS");
    ASSERT_FALSE(responder);
    EXPECT_EQ(responder.error().text, "no mDNS daemon");
}

}  // namespace
}  // namespace hp::platform
