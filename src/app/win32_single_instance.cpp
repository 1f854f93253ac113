#include "app/win32_single_instance.h"

#include <sddl.h>

#include <optional>
#include <string>

namespace hp::app {

namespace {

struct LocalFreer {
    void operator()(void* p) const { LocalFree(p); }
};

// The descriptor from its text; where the system does not take the label
// part, the access list alone.
std::unique_ptr<void, LocalFreer> descriptor_of(const wchar_t* sddl) {
    PSECURITY_DESCRIPTOR sd = nullptr;
    if (ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &sd, nullptr))
        return std::unique_ptr<void, LocalFreer>(sd);
    std::wstring dacl = sddl;
    dacl = dacl.substr(0, dacl.find(L"S:"));
    if (ConvertStringSecurityDescriptorToSecurityDescriptorW(dacl.c_str(), SDDL_REVISION_1, &sd, nullptr))
        return std::unique_ptr<void, LocalFreer>(sd);
    return nullptr;
}

std::optional<unsigned long> own_session() {
    DWORD session = 0;
    if (!ProcessIdToSessionId(GetCurrentProcessId(), &session)) return std::nullopt;
    return session;
}

// A never-signalled event whose existence is the message. The handle asks
// for SYNCHRONIZE only: this process never changes it either.
UniqueHandle publish_event(const std::wstring& name) {
    const auto descriptor = descriptor_of(kHostSessionSddl);
    SECURITY_ATTRIBUTES sa{};
    sa.nLength = sizeof sa;
    sa.lpSecurityDescriptor = descriptor.get();
    sa.bInheritHandle = FALSE;
    return UniqueHandle(
        CreateEventExW(descriptor ? &sa : nullptr, name.c_str(), CREATE_EVENT_MANUAL_RESET, SYNCHRONIZE));
}

// The host's session, before "published" says it is there to be read.
void publish_session(SingleInstance& instance, const std::wstring& base) {
    const auto session = own_session();
    if (!session) return;
    instance.sessionEvent = publish_event(host_session_marker_name(base, *session));
    if (instance.sessionEvent) instance.publishedEvent = publish_event(base);
}

ObjectProbe probe_event(const std::wstring& name) {
    SetLastError(ERROR_SUCCESS);
    UniqueHandle handle(OpenEventW(SYNCHRONIZE, FALSE, name.c_str()));
    return object_probe(handle != nullptr, GetLastError());
}

}  // namespace

// The numbers the window-free rules read, against the system's.
static_assert(ERROR_FILE_NOT_FOUND == 2 && ERROR_ACCESS_DENIED == 5 && ERROR_INVALID_HANDLE == 6);

SingleInstance acquire_single_instance(const wchar_t* name, const wchar_t* sessionBase) {
    const auto descriptor = descriptor_of(kSingletonMutexSddl);
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
    // Events rather than a file mapping carrying the id: making a file
    // mapping in the global namespace from a user's session takes
    // SeCreateGlobalPrivilege (CreateFileMappingW, Remarks), which only an
    // elevated host has; events need no privilege there.
    if (result.outcome == InstanceOutcome::Acquired) publish_session(result, sessionBase);
    return result;
}

HostSession running_host_session(const wchar_t* sessionBase) {
    return find_host_session(sessionBase, own_session(), probe_event);
}

}  // namespace hp::app
