#pragma once
// Per-user protection of secrets at rest (the identity file). On Windows this
// is DPAPI in user scope; elsewhere an equivalent of the platform's choosing.
#include "base/bytes.h"
#include "base/result.h"

#include <memory>

namespace hp::platform {

class DataProtection {
public:
    virtual ~DataProtection() = default;
    virtual Result<Bytes> protect(ByteView plain) = 0;
    // Fails for blobs made by another user or machine, or damaged blobs.
    virtual Result<Bytes> unprotect(ByteView blob) = 0;
};

}  // namespace hp::platform
