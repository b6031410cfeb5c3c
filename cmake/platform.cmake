# Build flavours: target processor, Windows cross-builds and profile-guided optimisation.
# Included by the top-level CMakeLists.txt before the targets are defined.
#
#   -DVANTOREL_ARCH=native     (default) tuned for the build machine; not for other machines
#   -DVANTOREL_ARCH=x86-64     runs on every 64-bit x86 processor (SSE2 only)
#   -DVANTOREL_ARCH=x86-64-v3  Haswell (2013) and Zen or later: POPCNT, BMI2, AVX2
#   -DVANTOREL_ARCH=none       leaves the choice to the compiler's own default
#   -DVANTOREL_LTO=ON          link-time optimisation: inlining across source files
#   -DVANTOREL_STATIC=ON       Linux: one static executable that runs on any distribution
#   -DVANTOREL_PGO=GENERATE    instrumented build that writes profiles to VANTOREL_PGO_DIR
#   -DVANTOREL_PGO=USE         optimised with those profiles (tools/build/pgo-build.sh does both)
#   -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw.cmake   Windows x86-64 (tools/build/build-windows.sh)

set(VANTOREL_PGO "OFF" CACHE STRING "Profile-guided optimisation: OFF, GENERATE or USE")
set_property(CACHE VANTOREL_PGO PROPERTY STRINGS OFF GENERATE USE)
set(VANTOREL_PGO_DIR "${CMAKE_BINARY_DIR}/pgo-profile" CACHE PATH
    "Where the instrumented build writes its profiles and the USE build reads them")
set_property(CACHE VANTOREL_ARCH PROPERTY STRINGS native x86-64 x86-64-v3 none)

# The same node count on every build is the engine's signature: keep floating-point results
# (the reduction table) independent of whether the target has fused multiply-add.
add_compile_options(-ffp-contract=off)

option(VANTOREL_LTO "Link-time optimisation" OFF)
if(VANTOREL_LTO)
  include(CheckIPOSupported)
  check_ipo_supported(RESULT lto_supported OUTPUT lto_error LANGUAGES CXX)
  if(NOT lto_supported)
    message(FATAL_ERROR "VANTOREL_LTO: the compiler cannot do it: ${lto_error}")
  endif()
  set(CMAKE_INTERPROCEDURAL_OPTIMIZATION ON)
endif()

if(VANTOREL_PGO STREQUAL "GENERATE")
  add_compile_options(-fprofile-generate -fprofile-dir=${VANTOREL_PGO_DIR})
  add_link_options(-fprofile-generate)
elseif(VANTOREL_PGO STREQUAL "USE")
  # Profiles name their object files; a build directory other than the instrumented one, or
  # code changed since, only loses the profile for the files concerned.
  add_compile_options(-fprofile-use -fprofile-dir=${VANTOREL_PGO_DIR} -fprofile-correction
                      -Wno-missing-profile)
elseif(NOT VANTOREL_PGO STREQUAL "OFF")
  message(FATAL_ERROR "VANTOREL_PGO must be OFF, GENERATE or USE, not '${VANTOREL_PGO}'")
endif()

option(VANTOREL_STATIC "Link the executable statically (always so on Windows)" OFF)
if(VANTOREL_STATIC AND NOT WIN32)
  add_link_options(-static)
endif()

if(WIN32)
  # One self-contained vantorel.exe: the C++ runtime, libgcc and winpthread linked in, so
  # only system DLLs (KERNEL32, msvcrt) remain. It is a console program.
  add_link_options(-static -static-libgcc -static-libstdc++ $<$<CONFIG:Release>:-s>)
  # A search 128 plies deep needs close to Windows' default 1 MB of stack; give it room.
  add_link_options(-Wl,--stack,16777216)
  if(CMAKE_CROSSCOMPILING)
    # The tests drive the executable through POSIX process calls; they run on the host build.
    set(VANTOREL_TESTS OFF)
  endif()
endif()
