#include "app/win32_single_instance.h"

#include <sddl.h>

namespace hp::app {

namespace {

struct LocalFreer {
    void operator()(void* p) const { LocalFree(p); }
};

// The descriptor from its text; where the system does not take the label
// part, the access list alone.
std::unique_ptr<void, LocalFreer> mutex_descriptor() {
    PSECURITY_DESCRIPTOR sd = nullptr;
    if (ConvertStringSecurityDescriptorToSecurityDescriptorW(kSingletonMutexSddl, SDDL_REVISION_1, &sd, nullptr))
        return std::unique_ptr<void, LocalFreer>(sd);
    std::wstring dacl = kSingletonMutexSddl;
    dacl = dacl.substr(0, dacl.find(L"S:"));
    if (ConvertStringSecurityDescriptorToSecurityDescriptorW(dacl.c_str(), SDDL_REVISION_1, &sd, nullptr))
        return std::unique_ptr<void, LocalFreer>(sd);
    return nullptr;
}

}  // namespace

SingleInstance acquire_single_instance(const wchar_t* name) {
    const auto descriptor = mutex_descriptor();
    SECURITY_ATTRIBUTES sa{};
    sa.nLength = sizeof sa;
    sa.lpSecurityDescriptor = descriptor.get();
    sa.bInheritHandle = FALSE;
    // SYNCHRONIZE is all a later process asks for when the mutex exists: the
    // descriptor grants it to every authenticated user, so a second start
    // opens the mutex (ERROR_ALREADY_EXISTS) rather than being refused. A
    // refusal (ERROR_ACCESS_DENIED, a mutex of another user or of a higher
    // integrity level with an older descriptor) still means a host runs.
    SetLastError(ERROR_SUCCESS);
    HANDLE handle = CreateMutexExW(descriptor ? &sa : nullptr, name, CREATE_MUTEX_INITIAL_OWNER,
                                   SYNCHRONIZE | MUTEX_MODIFY_STATE);
    const DWORD error = GetLastError();
    SingleInstance result;
    result.mutex.reset(handle);
    result.outcome = single_instance_outcome(handle != nullptr, error);
    if (result.outcome != InstanceOutcome::Acquired) result.mutex.reset();
    return result;
}

}  // namespace hp::app
