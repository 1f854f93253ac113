#pragma once
// The host's long-lived identity: host id and Ed25519 seed, kept in
// host_identity.bin under per-user protection.
#include <filesystem>
#include <string>

#include "base/result.h"
#include "crypto/crypto.h"
#include "platform/data_protection.h"
#include "platform/system.h"
#include "protocol/handshake_host.h"

namespace hp::store {

// The identity is the protocol's value (host id and Ed25519 key pair); kept
// here.
using HostIdentity = protocol::HostIdentity;

// Loads the identity from dir/host_identity.bin, or creates and saves a new
// one when the file is missing, unreadable, undecryptable or malformed.
Result<HostIdentity> load_or_create_identity(const std::filesystem::path& dir,
                                             platform::DataProtection& protection);

// A random version-4 UUID in 36 lowercase characters.
std::string new_host_id();

// COMPUTERNAME, else HOSTNAME, else the name the machine gives itself (Linux),
// else "Windows PC".
std::string host_name(const platform::System& system);

}  // namespace hp::store
