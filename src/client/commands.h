#pragma once
// Runs one command of hearthpad-client: discovery, pairing, information, and
// the session commands that authenticate first.
#include <iosfwd>

#include "client/cli.h"

namespace hp::client {

// Results go to `out`; every failure is one line on `err`. Returns the exit
// status (kExitOk, kExitFailed, kExitUsage, kExitImpersonation).
int run(const Invocation& invocation, std::ostream& out, std::ostream& err);

}  // namespace hp::client
