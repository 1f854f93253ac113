#pragma once
// A System for tests: environment, machine name, clock, device type and
// interfaces are plain values the test sets; the timer and trim calls are
// counted; sockets are real (loopback tests need them); data protection is
// a reversible stand-in that can be told to fail.
#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/system.h"

namespace hp::fake {

class FakeDataProtection : public platform::DataProtection {
public:
    Result<Bytes> protect(ByteView plain) override;
    Result<Bytes> unprotect(ByteView blob) override;
    std::atomic<bool> failProtect{false};
};

class FakeSas : public platform::SasSystem {
public:
    std::optional<std::uint32_t> readPolicy() override { return std::nullopt; }
    platform::SasSender sender() override { return platform::SasSender::None; }
    bool sendSas(platform::SasSender) override { return false; }
};

class FakeSystem : public platform::System {
public:
    FakeSystem();

    std::optional<std::string> env(const char* name) const override;
    std::optional<std::string> machine_name() const override;
    std::uint64_t filetime_now() const override { return filetime.load(); }
    std::string device_type() const override;
    void time_begin_period() override { ++timerBegins; }
    void time_end_period() override { ++timerEnds; }
    void trim_working_set() override { ++trims; }
    std::optional<std::vector<platform::InterfaceAddress>> interface_addresses() const override;
    Result<platform::NativeSocket> create_tcp_listener(bool v6) override;
    Result<platform::NativeSocket> create_udp_socket(bool v6) override;
    void close_socket(platform::NativeSocket socket) override;
    std::size_t receive_ready(platform::NativeSocket socket, std::uint8_t* buffers, std::size_t capacity,
                              std::span<platform::ReceivedDatagram> out) override {
        return real_->receive_ready(socket, buffers, capacity, out);
    }
    std::string error_text(const std::error_code& error) const override;
    platform::DataProtection& data_protection() override { return protection; }
    std::shared_ptr<platform::SasSystem> sas() override { return sasSystem; }

    // Values the test sets (before the host starts, or under its own care).
    void set_env(const std::string& name, std::optional<std::string> value);
    void set_machine_name(std::optional<std::string> name);
    void set_device_type(std::string type);
    // Each address on an adapter "fake0" that is up, without a gateway, of
    // kind Other; nothing: the enumeration fails.
    void set_interfaces(std::optional<std::vector<IpAddress>> addresses);
    // The adapters' facts as given.
    void set_interface_addresses(std::optional<std::vector<platform::InterfaceAddress>> addresses);

    std::atomic<std::uint64_t> filetime{133485408001230000ULL};  // 2024-01-01 00:00:00.123 UTC
    std::atomic<int> timerBegins{0}, timerEnds{0}, trims{0};
    std::atomic<int> socketsCreated{0}, socketsClosed{0};
    FakeDataProtection protection;
    std::shared_ptr<platform::SasSystem> sasSystem = std::make_shared<FakeSas>();

private:
    mutable std::mutex mutex_;
    std::map<std::string, std::string> env_;
    std::optional<std::string> machine_;
    std::string deviceType_ = "desktop";
    std::optional<std::vector<platform::InterfaceAddress>> interfaces_;
    std::shared_ptr<platform::System> real_;  // sockets
};

}  // namespace hp::fake
