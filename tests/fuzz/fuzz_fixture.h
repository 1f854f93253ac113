#pragma once
// The fixed world the fuzz targets and the seed generator share: one host
// identity, one client whose signing key only the generator holds, the keys
// of the stores and channels. The generator captures handshakes against this
// host; with the fixed randomness of fuzz_support.h they replay byte for byte.
#include <cstdint>
#include <string_view>

#include "base/ip_address.h"
#include "crypto/crypto.h"
#include "discovery/network_snapshot.h"
#include "protocol/handshake.h"
#include "store/identity.h"
#include "store/paired_store.h"

namespace hp::fuzz::fixture {

// The pairing code that is open while the handshake target runs.
inline constexpr std::string_view kPairingCode = "482913";

// The channel key of the secure-frame and datagram targets (the key of the
// ChaCha20-Poly1305 example in RFC 8439, 2.8.2).
crypto::Key32 channel_key();

store::HostIdentity host_identity();
protocol::HostInfo host_info();
discovery::NetworkSnapshot network();
IpAddress peer();

// The key of paired_devices.json, as the host derives it from its identity.
crypto::Key32 store_key();

// The client: its id, names and the seed of its Ed25519 key. It is paired in
// the handshake target's store under `kPairedClientId`.
inline constexpr std::string_view kClientId = "5b0d7c1e-2f43-4a8b-9c6d-7e8f9a0b1c2d";
inline constexpr std::string_view kDeviceName = "Fuzz Phone";
inline constexpr std::string_view kDeviceModel = "Pixel F";
crypto::Key32 client_seed();
// Its fixed X25519 secret and nonce (the generator's ephemeral material).
crypto::Key32 client_x25519_secret();
crypto::Nonce16 client_nonce();

// The record of the paired client, as the store keeps it.
store::PairedClientRecord paired_client();

}  // namespace hp::fuzz::fixture
