# Cross-build for 64-bit Windows with Debian's mingw-w64 (package g++-mingw-w64-x86-64-posix).
# The posix thread model is needed: the input reader is a std::thread, which the win32 model
# of this compiler version does not provide.
#   cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(MINGW_PREFIX x86_64-w64-mingw32)
find_program(MINGW_CXX NAMES ${MINGW_PREFIX}-g++-posix REQUIRED)
set(CMAKE_CXX_COMPILER ${MINGW_CXX})
find_program(CMAKE_RC_COMPILER NAMES ${MINGW_PREFIX}-windres)

# Libraries built for this target outside the repository (include/ and lib/ there):
# tools/build/build-windows.sh builds Debian's fathom source into it.
if(NOT VANTOREL_MINGW_LIBS)
  if(NOT "$ENV{XDG_CACHE_HOME}" STREQUAL "")
    set(VANTOREL_MINGW_LIBS "$ENV{XDG_CACHE_HOME}/vantorel/mingw-w64")
  else()
    set(VANTOREL_MINGW_LIBS "$ENV{HOME}/.cache/vantorel/mingw-w64")
  endif()
endif()

set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_PREFIX} ${VANTOREL_MINGW_LIBS})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Run cross-built programs (try_run, tests) under Wine when it is there.
find_program(WINE_PROGRAM NAMES wine64 wine)
if(WINE_PROGRAM)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${WINE_PROGRAM})
endif()
