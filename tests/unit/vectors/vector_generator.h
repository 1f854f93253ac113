#pragma once
// The published test vectors (docs/vectors/*.json), computed from the host's
// own handshake handler, frame and datagram codecs with fixed identities,
// ephemeral keys, nonces and pairing code, and from the reference client's
// side of the handshakes with the same fixed values.
//
// Every value a client author needs to check an implementation step by step
// is written out: the fixed inputs, each frame as JSON and as wire bytes, the
// transcripts, the X25519 shared secrets, HKDF salt, PRK and output, the MACs
// and signatures, the session keys, and the first encrypted frame in each
// direction.
#include <map>
#include <string>

#include "base/result.h"

namespace hp::vectors {

// File name ("pairing.json", ...) to its whole text (2-space indented JSON and
// a final newline). Fails when the host does not answer a step as the
// vectors expect (for example, refuses the fixed pairing).
Result<std::map<std::string, std::string>> generate_all();

}  // namespace hp::vectors
