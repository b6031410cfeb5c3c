# Micro-benchmarks of the hot paths (Google Benchmark), built when the library is installed.
find_package(benchmark QUIET)
file(GLOB MICROBENCH_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/benchmarks/*.cpp)
if(benchmark_FOUND AND MICROBENCH_SOURCES)
  add_executable(vantorel_microbench ${MICROBENCH_SOURCES})
  target_link_libraries(vantorel_microbench PRIVATE engine benchmark::benchmark benchmark::benchmark_main)
endif()
