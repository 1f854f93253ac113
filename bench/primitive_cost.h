#pragma once
// The host's side of an authentication, timed primitive by primitive: an
// ephemeral X25519 pair, the shared secret, a signature over the transcript,
// the check of the client's signature, and the session key. The baseline
// that authentication figures are set against.
#include <functional>

namespace hp::bench {

struct PrimitiveCost {
    double keypairNs = 0, x25519Ns = 0, signNs = 0, verifyNs = 0, hkdfNs = 0;
    double sum() const { return keypairNs + x25519Ns + signNs + verifyNs + hkdfNs; }
};

// How long one call takes, in nanoseconds, over `iterations` calls (wall
// time or the thread's CPU time: the caller's choice).
using TimePerCall = std::function<double(int iterations, const std::function<void(int)>& call)>;

PrimitiveCost measure_primitives(const TimePerCall& time_per_call);

}  // namespace hp::bench
