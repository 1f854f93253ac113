#include "store/identity.h"

#include <nlohmann/json.hpp>
#include <optional>
#include <system_error>

#include "base/atomic_file.h"
#include "base/json.h"
#include "base/json_text.h"

namespace hp::store {

namespace {

constexpr const char* kIdentityFile = "host_identity.bin";
// The protected JSON is a few hundred bytes; anything far larger is not ours.
constexpr std::uintmax_t kMaxIdentityFileSize = 1 << 20;

void wipe_string(std::string& s) {
    crypto::wipe({reinterpret_cast<std::uint8_t*>(s.data()), s.size()});
}

// The decrypted identity file: {"hostId":"…","seedHex":"…"} or the array form
// ["…","…"], read by the same strict reader as client messages.
constexpr MemberRule kIdentityMembers[] = {
    {"hostId", JsonType::String, true},
    {"seedHex", JsonType::String, true},
};

std::optional<HostIdentity> load_identity(const std::filesystem::path& file,
                                          platform::DataProtection& protection) {
    const auto blob = read_file_capped(file, kMaxIdentityFileSize);
    if (!blob) return std::nullopt;
    auto plain = protection.unprotect(*blob);
    if (!plain) return std::nullopt;

    auto members = read_members(*plain, kIdentityMembers);
    crypto::wipe(*plain);
    if (!members) return std::nullopt;
    auto& seed_hex = (*members)[1]->get_ref<std::string&>();
    auto seed = crypto::hex_decode_array<32>(seed_hex);
    wipe_string(seed_hex);
    if (!seed) return std::nullopt;
    HostIdentity identity;
    identity.hostId = (*members)[0]->get<std::string>();
    identity.seed = *seed;
    identity.publicKey = crypto::ed25519_public_key(identity.seed);
    crypto::wipe(*seed);
    return identity;
}

Result<HostIdentity> create_identity(const std::filesystem::path& dir,
                                     const std::filesystem::path& file,
                                     platform::DataProtection& protection) {
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec)
        return fail("Could not create the data directory " + path_text(dir) + ": " + ec.message());

    HostIdentity identity;
    identity.hostId = new_host_id();
    crypto::random_bytes(identity.seed);
    identity.publicKey = crypto::ed25519_public_key(identity.seed);

    std::string seed_hex = crypto::hex_encode(identity.seed);
    std::string json;
    json.reserve(64 + identity.hostId.size() + seed_hex.size());
    json += "{\"hostId\":";
    append_json_string(json, identity.hostId);
    json += ",\"seedHex\":";
    append_json_string(json, seed_hex);
    json += '}';
    wipe_string(seed_hex);

    auto blob = protection.protect(as_bytes(json));
    wipe_string(json);
    if (!blob) return std::unexpected(blob.error());

    if (auto written = write_file_atomically(file, tmp_sibling(file), *blob); !written)
        return std::unexpected(written.error());
    return identity;
}

}  // namespace

Result<HostIdentity> load_or_create_identity(const std::filesystem::path& dir,
                                             platform::DataProtection& protection) {
    const std::filesystem::path file = dir / kIdentityFile;
    if (auto loaded = load_identity(file, protection)) return std::move(*loaded);
    return create_identity(dir, file, protection);
}

std::string new_host_id() {
    ByteArray<16> b{};
    crypto::random_bytes(b);
    b[6] = static_cast<std::uint8_t>((b[6] & 0x0F) | 0x40);
    b[8] = static_cast<std::uint8_t>((b[8] & 0x3F) | 0x80);
    const std::string hex = crypto::hex_encode(b);
    return hex.substr(0, 8) + '-' + hex.substr(8, 4) + '-' + hex.substr(12, 4) + '-' +
           hex.substr(16, 4) + '-' + hex.substr(20, 12);
}

std::string host_name(const platform::System& system) {
    if (auto name = system.env("COMPUTERNAME")) return *name;
    if (auto name = system.env("HOSTNAME")) return *name;
    if (auto name = system.machine_name()) return *name;
    return "Windows PC";
}

}  // namespace hp::store
