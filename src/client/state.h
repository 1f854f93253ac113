#pragma once
// What the client keeps between runs, in a folder of its own (never the
// host's data directory):
//   identity.json  its id, device name and model, and the Ed25519 seed;
//   host.json      the host it paired with: id, name, public key, the
//                  endpoint it was reached at and its UDP port.
// Both files are replaced whole (written beside, then renamed).
#include <filesystem>
#include <optional>

#include "base/result.h"
#include "client/handshake.h"

namespace hp::client {

class ClientState {
public:
    explicit ClientState(std::filesystem::path dir) : dir_(std::move(dir)) {}

    const std::filesystem::path& dir() const { return dir_; }

    // Nothing when the file does not exist yet; an error when it exists but
    // cannot be read or understood.
    Result<std::optional<Identity>> load_identity() const;
    Result<std::optional<PinnedHost>> load_host() const;

    Status save_identity(const Identity& identity) const;
    Status save_host(const PinnedHost& host) const;

private:
    std::filesystem::path dir_;
};

}  // namespace hp::client
