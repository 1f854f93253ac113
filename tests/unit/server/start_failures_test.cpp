// Start-up failures come back as errors with their text, and nothing the
// failed attempt created is left open.
#include <gtest/gtest.h>
#include <unistd.h>

#include <asio/io_context.hpp>
#include <stdexcept>
#include <system_error>

#include "../foundation/scratch.h"
#include "main/start_host.h"
#include "platform/fake/fake_system.h"
#include "platform/fake/recording_platform.h"
#include "server/sockets.h"

namespace hp {
namespace {

// A system whose queries throw, as the standard library reports a thread or
// resource that cannot be had.
class ThrowingSystem : public fake::FakeSystem {
public:
    std::string device_type() const override {
        throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
    }
};

TEST(StartHost, AnExceptionDuringStartUpBecomesAnError) {
    test::ScratchDir scratch;
    auto system = std::make_shared<ThrowingSystem>();
    system->set_env("RC_DATA_DIR", scratch.path().string());
    main::StartOptions options;
    options.system = system;
    options.platform = std::make_shared<fake::RecordingPlatform>();
    options.ports = server::PortRange{0, 0};
    auto host = main::start_host(std::move(options));
    ASSERT_FALSE(host);
    EXPECT_EQ(host.error().text,
              std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again)).what());
}

// A UDP socket the runtime cannot adopt (here: a handle the system does not
// know) is closed again, not leaked.
class UnadoptableUdp : public fake::FakeSystem {
public:
    Result<platform::NativeSocket> create_udp_socket(bool) override {
        const int fd = 1 << 20;  // above any descriptor limit
        handed_out.push_back(fd);
        return static_cast<platform::NativeSocket>(fd);
    }
    void close_socket(platform::NativeSocket socket) override {
        closed.push_back(static_cast<int>(socket));
        FakeSystem::close_socket(socket);
    }
    std::vector<int> handed_out, closed;
};

TEST(StartHost, ASocketTheRuntimeCannotAdoptIsClosed) {
    asio::io_context io;
    UnadoptableUdp system;
    auto bound = server::bind_host_sockets(io.get_executor(), system, server::PortRange{0, 0});
    ASSERT_FALSE(bound);
    ASSERT_FALSE(system.handed_out.empty());
    EXPECT_EQ(system.closed, system.handed_out);
}

}  // namespace
}  // namespace hp
