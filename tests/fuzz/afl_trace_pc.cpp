// Edge coverage for AFL++ from g++'s own instrumentation, for when AFL++'s
// GCC plugin cannot load (Debian 12's afl++ 4.04c plugin was built for
// g++ 12.2.0-14 and refuses the 12.2.0-14+deb12u1 that the archive now has).
//
// Code built with -fsanitize-coverage=trace-pc calls this at the start of
// every basic block; it records the edge from the previous block into AFL++'s
// shared map the way AFL's classic instrumentation does (the block's address
// hashed to 16 bits, xored with the previous one shifted by one). The map, the fork
// server and the persistent loop are AFL++'s own runtime (afl-compiler-rt.o),
// the libFuzzer-style main is its libAFLDriver.a.
//
// This file itself must be built without the coverage flag and the
// sanitizers (cmake/Fuzz.cmake does so).
#include <cstdint>

extern "C" unsigned char* __afl_area_ptr;  // AFL++'s map, 64 KiB by default

namespace {
thread_local std::uintptr_t previous_block = 0;
}

extern "C" void __sanitizer_cov_trace_pc() {
    const auto pc = reinterpret_cast<std::uintptr_t>(__builtin_return_address(0));
    const std::uintptr_t block = (pc * 0x9E3779B97F4A7C15ull) >> 48;
    __afl_area_ptr[block ^ previous_block]++;
    previous_block = block >> 1;
}
