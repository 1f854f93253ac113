#include "platform/fake/fake_system.h"

#include <algorithm>

#include "platform/posix/posix_system.h"

namespace hp::fake {

namespace {

constexpr std::uint8_t kTag[] = {'F', 'A', 'K', 'E'};

std::optional<std::vector<platform::InterfaceAddress>> on_fake_adapter(
    std::optional<std::vector<IpAddress>> addresses) {
    if (!addresses) return std::nullopt;
    std::vector<platform::InterfaceAddress> out;
    for (const auto& a : *addresses) {
        platform::InterfaceAddress entry;
        entry.address = a;
        entry.up = true;
        entry.hasGateway = false;
        entry.kind = platform::AdapterKind::Other;
        entry.adapterId = "fake0";
        entry.adapterName = "fake0";
        out.push_back(std::move(entry));
    }
    return out;
}

}  // namespace

// The blob is "FAKE" followed by the plain bytes with every bit flipped: not
// secret, but a blob that was not made here (or was damaged) is refused.
Result<Bytes> FakeDataProtection::protect(ByteView plain) {
    if (failProtect) return fail("protection refused by the test");
    Bytes blob(std::begin(kTag), std::end(kTag));
    for (const std::uint8_t b : plain) blob.push_back(static_cast<std::uint8_t>(~b));
    return blob;
}

Result<Bytes> FakeDataProtection::unprotect(ByteView blob) {
    if (blob.size() < sizeof kTag || !std::equal(std::begin(kTag), std::end(kTag), blob.begin()))
        return fail("not a blob of this protection");
    Bytes plain;
    for (const std::uint8_t b : blob.subspan(sizeof kTag)) plain.push_back(static_cast<std::uint8_t>(~b));
    return plain;
}

FakeSystem::FakeSystem()
    : interfaces_(on_fake_adapter(std::vector<IpAddress>{IpAddress::v4(127, 0, 0, 1), IpAddress::v4(192, 168, 1, 20)})),
      real_(platform::make_posix_system()) {}

std::optional<std::string> FakeSystem::env(const char* name) const {
    std::lock_guard lock(mutex_);
    const auto it = env_.find(name);
    if (it == env_.end()) return std::nullopt;
    return it->second;
}

std::optional<std::string> FakeSystem::machine_name() const {
    std::lock_guard lock(mutex_);
    return machine_;
}

std::string FakeSystem::device_type() const {
    std::lock_guard lock(mutex_);
    return deviceType_;
}

std::optional<std::vector<platform::InterfaceAddress>> FakeSystem::interface_addresses() const {
    std::lock_guard lock(mutex_);
    return interfaces_;
}

Result<platform::NativeSocket> FakeSystem::create_tcp_listener(bool v6) {
    auto s = real_->create_tcp_listener(v6);
    if (s) ++socketsCreated;
    return s;
}

Result<platform::NativeSocket> FakeSystem::create_udp_socket(bool v6) {
    auto s = real_->create_udp_socket(v6);
    if (s) ++socketsCreated;
    return s;
}

void FakeSystem::close_socket(platform::NativeSocket socket) {
    ++socketsClosed;
    real_->close_socket(socket);
}

std::string FakeSystem::error_text(const std::error_code& error) const { return real_->error_text(error); }

void FakeSystem::set_env(const std::string& name, std::optional<std::string> value) {
    std::lock_guard lock(mutex_);
    if (value)
        env_[name] = std::move(*value);
    else
        env_.erase(name);
}

void FakeSystem::set_machine_name(std::optional<std::string> name) {
    std::lock_guard lock(mutex_);
    machine_ = std::move(name);
}

void FakeSystem::set_device_type(std::string type) {
    std::lock_guard lock(mutex_);
    deviceType_ = std::move(type);
}

void FakeSystem::set_interfaces(std::optional<std::vector<IpAddress>> addresses) {
    set_interface_addresses(on_fake_adapter(std::move(addresses)));
}

void FakeSystem::set_interface_addresses(std::optional<std::vector<platform::InterfaceAddress>> addresses) {
    std::lock_guard lock(mutex_);
    interfaces_ = std::move(addresses);
}

}  // namespace hp::fake
