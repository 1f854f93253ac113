#pragma once
// One host per machine: the named mutex hearthpad.exe holds for its life.
#include <windows.h>

#include <memory>

#include "app/win32_first_run.h"

namespace hp::app {

struct HandleCloser {
    void operator()(HANDLE handle) const {
        if (handle) CloseHandle(handle);
    }
};
using UniqueHandle = std::unique_ptr<void, HandleCloser>;

struct SingleInstance {
    InstanceOutcome outcome = InstanceOutcome::Unprotected;
    UniqueHandle mutex;  // held (owned) while outcome is Acquired
};

// Creates the mutex owned, with kSingletonMutexSddl, or finds that a host
// already holds it.
SingleInstance acquire_single_instance(const wchar_t* name = kSingletonMutexName);

}  // namespace hp::app
