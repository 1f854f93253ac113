# Cross build for 64-bit Windows with Debian's mingw-w64 (posix thread model).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Cross-built test programs run under Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh")
# Release builds use -O2 like the native release build: g++ 12 at -O3 reports
# false -Wstringop-overflow/-Wrestrict warnings inside libstdc++'s vector and
# string code.
# (The compiler module appends -O3 to the *_INIT flags, so the cache entries
# are seeded here instead.)
set(CMAKE_C_FLAGS_RELEASE "-O2 -DNDEBUG" CACHE STRING "Flags used by the C compiler for Release builds.")
set(CMAKE_CXX_FLAGS_RELEASE "-O2 -DNDEBUG" CACHE STRING "Flags used by the C++ compiler for Release builds.")
# Debug information and source locations name files relative to the source
# and build trees, so the program does not depend on where the tree lives
# (the release package is reproducible). The later map wins for the build
# tree inside the source tree.
if(CMAKE_SOURCE_DIR AND CMAKE_BINARY_DIR)
  set(CMAKE_C_FLAGS_INIT "-ffile-prefix-map=${CMAKE_SOURCE_DIR}=. -ffile-prefix-map=${CMAKE_BINARY_DIR}=.")
  set(CMAKE_CXX_FLAGS_INIT "${CMAKE_C_FLAGS_INIT}")
endif()
