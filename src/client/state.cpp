#include "client/state.h"

#include "base/atomic_file.h"
#include "base/json.h"

namespace hp::client {

namespace {

namespace fs = std::filesystem;
using nlohmann::json;

constexpr std::size_t kFileCap = 64 * 1024;

// The file's JSON object; nothing when it does not exist.
Result<std::optional<json>> read_object(const fs::path& file) {
    auto bytes = read_file_capped(file, kFileCap);
    if (!bytes) {
        if (bytes.error().kind == FileReadError::Kind::Missing) return std::optional<json>();
        return fail("cannot read " + path_text(file) + ": " + bytes.error().text);
    }
    auto j = parse_strict(*bytes);
    if (!j || !j->is_object()) return fail(path_text(file) + " is not a JSON object");
    return std::optional<json>(std::move(*j));
}

std::optional<std::string> text(const json& j, const char* name) {
    const auto it = j.find(name);
    if (it == j.end() || !it->is_string()) return std::nullopt;
    return it->get<std::string>();
}

std::optional<std::uint64_t> number(const json& j, const char* name) {
    const auto it = j.find(name);
    if (it == j.end() || !it->is_number_unsigned()) return std::nullopt;
    return it->get<std::uint64_t>();
}

Status write(const fs::path& dir, const char* name, const std::string& content) {
    std::error_code ec;
    fs::create_directories(dir, ec);
    if (ec) return fail("cannot create " + path_text(dir) + ": " + ec.message());
    const fs::path target = dir / name;
    auto status = write_file_atomically(target, tmp_sibling(target), as_bytes(content + "\n"));
    if (!status) return fail("cannot write " + path_text(target) + ": " + status.error().text);
    return {};
}

}  // namespace

Result<std::optional<Identity>> ClientState::load_identity() const {
    const fs::path file = dir_ / "identity.json";
    auto j = read_object(file);
    if (!j) return std::unexpected(j.error());
    if (!*j) return std::optional<Identity>();
    Identity id;
    auto clientId = text(**j, "clientId");
    auto seed = text(**j, "ed25519SeedHex");
    if (!clientId || clientId->empty() || clientId->size() > 128 || !seed)
        return fail(path_text(file) + " lacks clientId or ed25519SeedHex");
    auto seedBytes = crypto::hex_decode_array<32>(*seed);
    if (!seedBytes) return fail(path_text(file) + ": ed25519SeedHex is not 64 hex digits");
    id.clientId = std::move(*clientId);
    id.deviceName = text(**j, "deviceName").value_or("");
    id.deviceModel = text(**j, "deviceModel").value_or("");
    id.seed = *seedBytes;
    return std::optional<Identity>(std::move(id));
}

Result<std::optional<PinnedHost>> ClientState::load_host() const {
    const fs::path file = dir_ / "host.json";
    auto j = read_object(file);
    if (!j) return std::unexpected(j.error());
    if (!*j) return std::optional<PinnedHost>();
    PinnedHost host;
    auto hostId = text(**j, "hostId");
    auto key = text(**j, "hostEd25519PubHex");
    auto endpoint = text(**j, "endpoint");
    if (!hostId || !key || !endpoint) return fail(path_text(file) + " lacks hostId, hostEd25519PubHex or endpoint");
    auto keyBytes = crypto::hex_decode_array<32>(*key);
    if (!keyBytes) return fail(path_text(file) + ": hostEd25519PubHex is not 64 hex digits");
    host.hostId = std::move(*hostId);
    host.hostName = text(**j, "hostName").value_or("");
    host.publicKey = *keyBytes;
    host.endpoint = std::move(*endpoint);
    const auto udp = number(**j, "udpPort").value_or(0);
    host.udpPort = udp <= 65535 ? static_cast<std::uint16_t>(udp) : 0;
    host.pairedAtUnix = number(**j, "pairedAtUnix").value_or(0);
    return std::optional<PinnedHost>(std::move(host));
}

Status ClientState::save_identity(const Identity& id) const {
    JsonWriter w;
    w.begin_object()
        .key("clientId").string(id.clientId)
        .key("deviceName").string(id.deviceName)
        .key("deviceModel").string(id.deviceModel)
        .key("ed25519SeedHex").string(crypto::hex_encode(id.seed))
        .end_object();
    return write(dir_, "identity.json", w.take());
}

Status ClientState::save_host(const PinnedHost& host) const {
    JsonWriter w;
    w.begin_object()
        .key("hostId").string(host.hostId)
        .key("hostName").string(host.hostName)
        .key("hostEd25519PubHex").string(crypto::hex_encode(host.publicKey))
        .key("fp").string(host.fingerprint())
        .key("endpoint").string(host.endpoint)
        .key("udpPort").uint(host.udpPort)
        .key("pairedAtUnix").uint(host.pairedAtUnix)
        .end_object();
    return write(dir_, "host.json", w.take());
}

}  // namespace hp::client
