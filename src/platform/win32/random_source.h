#pragma once
// The choice of the Windows random source, apart so that tests can hand in
// their own library lookup.
#include <windows.h>

#include <functional>

namespace hp::platform {

// ProcessPrng's signature: fills the buffer, TRUE on success.
using RandomFill = BOOL(WINAPI*)(PBYTE, SIZE_T);

struct RandomSource {
    enum class Kind { ProcessPrng, BCryptGenRandom };
    Kind kind = Kind::BCryptGenRandom;
    RandomFill fill = nullptr;
};

// Finds `name` in `library`; nothing (nullptr) when either is missing.
using ProcLookup = std::function<void*(const wchar_t* library, const char* name)>;

// ProcessPrng when the lookup finds it, else BCryptGenRandom.
RandomSource select_random_source(const ProcLookup& lookup);

// The real lookup: LoadLibraryW and GetProcAddress.
void* system_proc_lookup(const wchar_t* library, const char* name);

}  // namespace hp::platform
