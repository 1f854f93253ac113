# Fuzz targets: one LLVMFuzzerTestOneInput per decoder of untrusted bytes in
# tests/fuzz/<name>_fuzz.cpp, each with a seed corpus in
# tests/fuzz/corpus/<name>/ (written by fuzz_make_corpus, see
# tests/fuzz/make_corpus.cpp).
#
# Normal build (included by cmake/Tests.cmake, native only): each target is
# linked with tests/fuzz/replay_main.cpp into fuzz_replay_<name>, and the
# CTest entry of the same name runs the whole seed corpus through it once.
#
# Fuzz build (HEARTHPAD_FUZZ=ON, included from CMakeLists.txt, configured by
# scripts/fuzz.sh in build/fuzz): only the base, the core and <name>_fuzz,
# linked with AFL++'s libAFLDriver.a. HEARTHPAD_FUZZ_COVERAGE says who
# instruments the code for AFL++:
#   compiler  the compiler is AFL++'s (afl-g++-fast), which also links its runtime;
#   trace-pc  plain g++ with -fsanitize-coverage=trace-pc, the edges recorded
#             by tests/fuzz/afl_trace_pc.cpp into AFL++'s runtime.
set(HP_FUZZ_TARGETS frame_reader secure_frame handshake messages datagram paired_store identity mapping tailscale_status update_manifest window_link)
set(HP_FUZZ_DIR ${CMAKE_SOURCE_DIR}/tests/fuzz)

if(HEARTHPAD_FUZZ)
  set(HEARTHPAD_FUZZ_COVERAGE "compiler" CACHE STRING "Who instruments the fuzz build: compiler or trace-pc")
  set_property(CACHE HEARTHPAD_FUZZ_COVERAGE PROPERTY STRINGS compiler trace-pc)
  set(HEARTHPAD_AFL_LIB_DIR "/usr/lib/afl" CACHE PATH "Where AFL++ keeps libAFLDriver.a and afl-compiler-rt.o")
  set(HP_AFL_DRIVER "${HEARTHPAD_AFL_LIB_DIR}/libAFLDriver.a")
  if(NOT EXISTS "${HP_AFL_DRIVER}")
    message(FATAL_ERROR "libAFLDriver.a not found in ${HEARTHPAD_AFL_LIB_DIR} (install afl++)")
  endif()
  set(HP_FUZZ_ENGINE "${HP_AFL_DRIVER}")
  if(HEARTHPAD_FUZZ_COVERAGE STREQUAL "trace-pc")
    foreach(lib hearthpad_base hearthpad_core hearthpad_platform)
      target_compile_options(${lib} PRIVATE -fsanitize-coverage=trace-pc)
    endforeach()
    set(HP_FUZZ_COVERAGE_FLAGS -fsanitize-coverage=trace-pc)
    add_library(hearthpad_afl_trace_pc OBJECT ${HP_FUZZ_DIR}/afl_trace_pc.cpp)
    target_compile_options(hearthpad_afl_trace_pc PRIVATE -O2 -fno-sanitize=all)
    list(APPEND HP_FUZZ_ENGINE $<TARGET_OBJECTS:hearthpad_afl_trace_pc>
         "${HEARTHPAD_AFL_LIB_DIR}/afl-compiler-rt.o")
  elseif(NOT HEARTHPAD_FUZZ_COVERAGE STREQUAL "compiler")
    message(FATAL_ERROR "HEARTHPAD_FUZZ_COVERAGE must be compiler or trace-pc")
  endif()
endif()

add_library(hearthpad_fuzz_support STATIC ${HP_FUZZ_DIR}/fuzz_support.cpp ${HP_FUZZ_DIR}/fuzz_fixture.cpp)
target_include_directories(hearthpad_fuzz_support PUBLIC src ${HP_FUZZ_DIR})
target_compile_options(hearthpad_fuzz_support PRIVATE ${HP_WARNINGS} ${HP_FUZZ_COVERAGE_FLAGS})
target_link_libraries(hearthpad_fuzz_support PUBLIC hearthpad_core)

# The identity target unprotects with the test stand-in for data protection.
add_library(hearthpad_fuzz_fakes STATIC src/platform/fake/fake_system.cpp)
target_compile_options(hearthpad_fuzz_fakes PRIVATE ${HP_WARNINGS} ${HP_FUZZ_COVERAGE_FLAGS})
target_link_libraries(hearthpad_fuzz_fakes PUBLIC hearthpad_platform)

foreach(name ${HP_FUZZ_TARGETS})
  if(HEARTHPAD_FUZZ)
    set(exe ${name}_fuzz)
    add_executable(${exe} ${HP_FUZZ_DIR}/${name}_fuzz.cpp)
    target_link_libraries(${exe} PRIVATE ${HP_FUZZ_ENGINE})
  else()
    set(exe fuzz_replay_${name})
    add_executable(${exe} ${HP_FUZZ_DIR}/${name}_fuzz.cpp ${HP_FUZZ_DIR}/replay_main.cpp)
    add_test(NAME ${exe} COMMAND ${exe} ${HP_FUZZ_DIR}/corpus/${name})
    set_tests_properties(${exe} PROPERTIES TIMEOUT 120)
  endif()
  target_compile_options(${exe} PRIVATE ${HP_WARNINGS} ${HP_FUZZ_COVERAGE_FLAGS})
  target_link_libraries(${exe} PRIVATE hearthpad_fuzz_support)
  if(name STREQUAL "identity")
    target_link_libraries(${exe} PRIVATE hearthpad_fuzz_fakes)
  endif()
endforeach()

# The seed generator: captures frames from the test client (which shares no
# code with the host) against the fuzz targets' fixed host, and writes the
# other seeds. Run it by hand after a format change:
#   build/native/fuzz_make_corpus tests/fuzz/corpus
# The test run checks that the committed seeds are what it writes (so the
# captured handshakes still reach a session).
if(NOT HEARTHPAD_FUZZ)
  add_executable(fuzz_make_corpus ${HP_FUZZ_DIR}/make_corpus.cpp)
  target_compile_options(fuzz_make_corpus PRIVATE ${HP_WARNINGS})
  target_link_libraries(fuzz_make_corpus PRIVATE hearthpad_fuzz_support hearthpad_test_support)
  add_test(NAME fuzz_corpus_current COMMAND fuzz_make_corpus --check ${HP_FUZZ_DIR}/corpus)
  set_tests_properties(fuzz_corpus_current PROPERTIES TIMEOUT 120)
endif()
