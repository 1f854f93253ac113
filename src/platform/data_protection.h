#pragma once
// Per-user protection of secrets at rest (the identity file). On Windows this
// is DPAPI in user scope; elsewhere an equivalent of the platform's choosing.
#include "common/bytes.h"
#include "common/result.h"

#include <memory>

namespace hp::platform {

class DataProtection {
public:
    virtual ~DataProtection() = default;
    virtual Result<Bytes> protect(ByteView plain) = 0;
    // Fails for blobs made by another user or machine, or damaged blobs.
    virtual Result<Bytes> unprotect(ByteView blob) = 0;
};

// The real implementation of the platform this binary is built for.
std::unique_ptr<DataProtection> make_data_protection();

}  // namespace hp::platform
