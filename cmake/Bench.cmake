# Benchmarks (Google Benchmark): figures for the hot input paths.
find_package(benchmark REQUIRED)
file(GLOB HP_BENCH_SOURCES CONFIGURE_DEPENDS bench/*.cpp tests/support/*.cpp src/platform/fake/*.cpp)
add_executable(hearthpad_bench ${HP_BENCH_SOURCES})
target_include_directories(hearthpad_bench PRIVATE src tests)
target_compile_options(hearthpad_bench PRIVATE ${HP_WARNINGS})
target_link_libraries(hearthpad_bench PRIVATE hearthpad_core hearthpad_platform benchmark::benchmark_main)
