# Benchmarks: Google Benchmark figures for the hot input paths (bench/*_bench.cpp),
# and the measuring tools that run the release console host as a child process
# and print ratios against baselines measured beside it:
#   hearthpad_load  round trips, CPU per datagram and per handshake, memory, a
#                   paired phone's latency under attack
#   hearthpad_idle_cost  wake-ups and CPU of the idle host, threads after many
#                   authentications
#   hearthpad_contention  a phone's round trips while other phones authenticate
#                   on a disk with slow flushes, and an authentication's CPU
#                   against its primitives and one durable save
#   hearthpad_x11_latency  a phone's pointer move to an X client through an
#                   in-process host with the X11 platform, against XTEST
#                   injected directly (under an Xvfb of its own)
find_package(benchmark REQUIRED)

# The tools' common parts: the child host, the phone, loopback sockets, the
# attacker. The phone's datagrams and acknowledgements are the reference
# client's (hearthpad_client); its sessions still come from the test client.
add_library(hearthpad_bench_support STATIC bench/host_process.cpp bench/bench_client.cpp bench/bench_net.cpp bench/primitive_cost.cpp
            bench/attack.cpp tests/support/test_client.cpp)
target_include_directories(hearthpad_bench_support PUBLIC src tests bench)
target_compile_options(hearthpad_bench_support PRIVATE ${HP_WARNINGS})
target_link_libraries(hearthpad_bench_support PUBLIC hearthpad_client hearthpad_base)

file(GLOB HP_BENCH_SOURCES CONFIGURE_DEPENDS bench/*_bench.cpp src/platform/fake/*.cpp)
add_executable(hearthpad_bench ${HP_BENCH_SOURCES})
target_include_directories(hearthpad_bench PRIVATE src tests)
target_compile_options(hearthpad_bench PRIVATE ${HP_WARNINGS})
target_link_libraries(hearthpad_bench PRIVATE hearthpad_bench_support hearthpad_core hearthpad_platform
                      benchmark::benchmark_main)

# Preloaded into the host by hearthpad_contention: every fsync made slow.
add_library(hearthpad_slow_fsync SHARED bench/slow_fsync.cpp)
target_compile_options(hearthpad_slow_fsync PRIVATE ${HP_WARNINGS})
target_link_libraries(hearthpad_slow_fsync PRIVATE ${CMAKE_DL_LIBS})

add_executable(hearthpad_load bench/load_tool.cpp)
add_executable(hearthpad_idle_cost bench/idle_cost.cpp)
add_executable(hearthpad_contention bench/contention_tool.cpp)
add_dependencies(hearthpad_contention hearthpad_slow_fsync)
foreach(tool hearthpad_load hearthpad_idle_cost hearthpad_contention)
  target_compile_options(${tool} PRIVATE ${HP_WARNINGS})
  target_link_libraries(${tool} PRIVATE hearthpad_bench_support)
  # The tools start the console host from their own folder.
  add_dependencies(${tool} hearthpad-console)
endforeach()

# A phone's pointer move to an X client through the host (X11 platform, in
# this process) against XTEST injected directly, under an Xvfb of its own.
add_executable(hearthpad_x11_latency bench/x11_input_latency.cpp tests/x11/x_session.cpp
               src/platform/fake/fake_system.cpp)
target_compile_options(hearthpad_x11_latency PRIVATE ${HP_WARNINGS})
target_include_directories(hearthpad_x11_latency PRIVATE tests)
target_link_libraries(hearthpad_x11_latency PRIVATE hearthpad_bench_support hearthpad_core hearthpad_platform
                      hearthpad_x11 X11::X11 X11::Xtst)
