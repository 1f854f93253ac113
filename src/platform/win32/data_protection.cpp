// DPAPI in user scope: only the same Windows user on the same machine can
// unprotect what protect() made.
#include "platform/win32/win32_system.h"

#include <windows.h>
#include <dpapi.h>

#include <limits>

#include "base/atomic_file.h"

namespace hp::platform {

namespace {

// Owns a DATA_BLOB buffer that DPAPI allocated; wipes it before LocalFree
// because an unprotected blob is a secret.
class LocalBlob {
public:
    LocalBlob() = default;
    LocalBlob(const LocalBlob&) = delete;
    LocalBlob& operator=(const LocalBlob&) = delete;
    ~LocalBlob() {
        if (blob_.pbData) {
            SecureZeroMemory(blob_.pbData, blob_.cbData);
            LocalFree(blob_.pbData);
        }
    }
    DATA_BLOB* out() { return &blob_; }
    Bytes bytes() const {
        if (!blob_.pbData) return {};
        return Bytes(blob_.pbData, blob_.pbData + blob_.cbData);
    }

private:
    DATA_BLOB blob_{0, nullptr};
};

std::optional<DATA_BLOB> input_blob(ByteView data) {
    if (data.size() > std::numeric_limits<DWORD>::max()) return std::nullopt;
    return DATA_BLOB{static_cast<DWORD>(data.size()), const_cast<BYTE*>(data.data())};
}

class DpapiProtection final : public DataProtection {
public:
    Result<Bytes> protect(ByteView plain) override {
        auto in = input_blob(plain);
        if (!in) return fail("The data is too large to protect.");
        LocalBlob out;
        if (!CryptProtectData(&*in, nullptr, nullptr, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN,
                              out.out()))
            return fail(os_error_text(GetLastError()));
        return out.bytes();
    }

    Result<Bytes> unprotect(ByteView blob) override {
        auto in = input_blob(blob);
        if (!in) return fail("The data is too large to unprotect.");
        LocalBlob out;
        if (!CryptUnprotectData(&*in, nullptr, nullptr, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN,
                                out.out()))
            return fail(os_error_text(GetLastError()));
        return out.bytes();
    }
};

}  // namespace

std::unique_ptr<DataProtection> make_dpapi_protection() { return std::make_unique<DpapiProtection>(); }

}  // namespace hp::platform
