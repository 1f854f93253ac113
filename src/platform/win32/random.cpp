// The host's random bytes on Windows come from the system's preferred
// generator. ProcessPrng (bcryptprimitives.dll, Windows 10 and later) is
// looked up at run time, never imported: where it is missing (older
// systems, Wine) the program must still load, and BCryptGenRandom with the
// system-preferred RNG takes its place.
#include <windows.h>
#include <bcrypt.h>

#include <sodium.h>

#include <cstdlib>
#include <mutex>

#include "platform/win32/dll_search.h"
#include "platform/win32/win32_system.h"
#include "platform/win32/random_source.h"

namespace hp::platform {

namespace {

BOOL WINAPI bcrypt_fill(PBYTE out, SIZE_T size) {
    // BCryptGenRandom takes a ULONG length; fill larger requests in pieces.
    while (size > 0) {
        const ULONG chunk = size > 0x40000000 ? 0x40000000 : static_cast<ULONG>(size);
        if (!BCRYPT_SUCCESS(BCryptGenRandom(nullptr, out, chunk, BCRYPT_USE_SYSTEM_PREFERRED_RNG)))
            return FALSE;
        out += chunk;
        size -= chunk;
    }
    return TRUE;
}

// Chosen once by use_system_random(); libsodium calls through it.
RandomFill g_fill = nullptr;

void sodium_buf(void* out, const size_t size) {
    if (size == 0) return;
    // A generator that fails cannot be replaced by anything weaker.
    if (!g_fill(static_cast<PBYTE>(out), size)) std::abort();
}

uint32_t sodium_random() {
    uint32_t v = 0;
    sodium_buf(&v, sizeof v);
    return v;
}

const char* sodium_name() { return "hearthpad-windows"; }

randombytes_implementation g_implementation = {
    sodium_name, sodium_random, nullptr, nullptr, sodium_buf, nullptr,
};

}  // namespace

RandomSource select_random_source(const ProcLookup& lookup) {
    if (void* proc = lookup(L"bcryptprimitives.dll", "ProcessPrng"))
        return RandomSource{RandomSource::Kind::ProcessPrng, reinterpret_cast<RandomFill>(proc)};
    return RandomSource{RandomSource::Kind::BCryptGenRandom, &bcrypt_fill};
}

void* system_proc_lookup(const wchar_t* library, const char* name) {
    // From the system directory only; the library stays loaded: the function
    // is used for the life of the process.
    HMODULE module = win32::load_system_library(library);
    if (!module) return nullptr;
    return reinterpret_cast<void*>(GetProcAddress(module, name));
}

void use_system_random() {
    static std::once_flag once;
    std::call_once(once, [] {
        g_fill = select_random_source(&system_proc_lookup).fill;
        randombytes_set_implementation(&g_implementation);
    });
}

}  // namespace hp::platform
