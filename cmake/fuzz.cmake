# Fuzz targets (libFuzzer), built only with clang and -DVANTOREL_FUZZ=ON:
#   cmake -S . -B build-fuzz -DCMAKE_CXX_COMPILER=clang++ -DVANTOREL_FUZZ=ON -DVANTOREL_TESTS=OFF
# The engine sources are compiled a second time with coverage instrumentation and
# ASan + UBSan; every target links them with the libFuzzer driver.
option(VANTOREL_FUZZ "Build the libFuzzer targets (clang only)" OFF)

if(VANTOREL_FUZZ AND CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  set(FUZZ_SANITIZERS address,undefined)
  add_library(engine_fuzz STATIC ${ENGINE_SOURCES})
  target_include_directories(engine_fuzz PUBLIC ${CMAKE_SOURCE_DIR}/src)
  target_compile_options(engine_fuzz PUBLIC
    -fsanitize=fuzzer-no-link,${FUZZ_SANITIZERS} -fno-sanitize-recover=all
    -fno-omit-frame-pointer -g)
  target_compile_options(engine_fuzz PRIVATE -fno-exceptions)
  target_link_libraries(engine_fuzz PUBLIC Threads::Threads)
  if(FATHOM_LIBRARY AND ZLIB_FOUND)
    target_include_directories(engine_fuzz SYSTEM PRIVATE ${FATHOM_INCLUDE_DIR})
    target_link_libraries(engine_fuzz PUBLIC ${FATHOM_LIBRARY} ZLIB::ZLIB)
    target_compile_definitions(engine_fuzz PUBLIC VANTOREL_SYZYGY)
  endif()
  target_compile_definitions(engine_fuzz PUBLIC TEST_DATA_DIR="${CMAKE_SOURCE_DIR}/tests/data")

  file(GLOB FUZZ_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/fuzz/*_fuzz.cpp)
  foreach(source ${FUZZ_SOURCES})
    get_filename_component(name ${source} NAME_WE)
    add_executable(${name} ${source})
    target_link_libraries(${name} PRIVATE engine_fuzz)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer,${FUZZ_SANITIZERS})
  endforeach()
elseif(VANTOREL_FUZZ)
  message(WARNING "VANTOREL_FUZZ needs clang; no fuzz targets are built")
endif()
