#include "fuzz_fixture.h"

namespace hp::fuzz::fixture {

namespace {

crypto::Key32 filled(std::uint8_t first) {
    crypto::Key32 k{};
    for (std::size_t i = 0; i < k.size(); ++i) k[i] = static_cast<std::uint8_t>(first + 7 * i);
    return k;
}

}  // namespace

crypto::Key32 channel_key() {
    crypto::Key32 k{};
    for (std::size_t i = 0; i < k.size(); ++i) k[i] = static_cast<std::uint8_t>(0x80 + i);
    return k;
}

store::HostIdentity host_identity() {
    store::HostIdentity id;
    id.hostId = "3f1c2a9e-8b7d-4c6e-9a5b-1d2e3f4a5b6c";
    id.seed = filled(0x11);
    id.publicKey = crypto::ed25519_public_key(id.seed);
    return id;
}

protocol::HostInfo host_info() {
    protocol::HostInfo info;
    info.hostName = "Fuzz PC";
    info.deviceType = "desktop";
    info.tcpPort = 49183;
    info.udpPort = 49183;
    return info;
}

discovery::NetworkSnapshot network() {
    discovery::NetworkSnapshot net;
    net.lan = {IpAddress::v4(192, 168, 1, 5)};
    net.tailscale = {IpAddress::v4(100, 64, 1, 2)};
    net.tailscaleDnsName = "pc.tail1234.ts.net";
    return net;
}

IpAddress peer() { return IpAddress::v4(192, 168, 1, 20); }

crypto::Key32 store_key() { return crypto::derive_store_key(host_identity().seed); }

crypto::Key32 client_seed() { return filled(0x42); }

crypto::Key32 client_x25519_secret() { return filled(0x63); }

crypto::Nonce16 client_nonce() {
    crypto::Nonce16 n{};
    for (std::size_t i = 0; i < n.size(); ++i) n[i] = static_cast<std::uint8_t>(0xA0 + i);
    return n;
}

store::PairedClientRecord paired_client() {
    store::PairedClientRecord r;
    r.clientId = std::string(kClientId);
    r.deviceName = std::string(kDeviceName);
    r.deviceModel = std::string(kDeviceModel);
    r.ed25519PublicKeyHex = crypto::hex_encode(crypto::ed25519_public_key(client_seed()));
    r.pairedAtUnix = 1704067200;
    r.lastSeenUnix = 1704153600;
    r.lastRemoteIp = "192.168.1.20";
    return r;
}

}  // namespace hp::fuzz::fixture
