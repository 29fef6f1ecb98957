# The fuzz targets of fuzz/, built with clang as an external project, and one
# short bounded run of each as a test (label "fuzz"). KESTROVA_FUZZ_SECONDS
# sets how long each runs; fuzz/run runs one for as long as asked.
option(KESTROVA_WITH_FUZZ "Build the libFuzzer targets (needs clang) and run each briefly as a test" ON)
set(KESTROVA_FUZZ_SECONDS 8 CACHE STRING "Seconds each fuzz target runs under ctest")

find_program(KESTROVA_CLANG clang)
find_program(KESTROVA_CLANGXX clang++)
if(NOT KESTROVA_WITH_FUZZ OR NOT KESTROVA_CLANG OR NOT KESTROVA_CLANGXX)
  return()
endif()

include(ExternalProject)
set(KESTROVA_FUZZ_DIR ${CMAKE_BINARY_DIR}/fuzz)
set(fuzz_launcher)
if(CCACHE_PROGRAM)
  set(fuzz_launcher -DCMAKE_C_COMPILER_LAUNCHER=${CCACHE_PROGRAM} -DCMAKE_CXX_COMPILER_LAUNCHER=${CCACHE_PROGRAM})
endif()
ExternalProject_Add(kestrova_fuzz
  SOURCE_DIR ${CMAKE_SOURCE_DIR}/fuzz
  BINARY_DIR ${KESTROVA_FUZZ_DIR}
  CMAKE_GENERATOR ${CMAKE_GENERATOR}
  CMAKE_ARGS -DCMAKE_C_COMPILER=${KESTROVA_CLANG} -DCMAKE_CXX_COMPILER=${KESTROVA_CLANGXX} ${fuzz_launcher}
  INSTALL_COMMAND ""
  BUILD_ALWAYS ON)

foreach(target probe engine option_text ftp_listing request_parser reply_readers)
  add_test(NAME fuzz_${target}
           COMMAND ${CMAKE_SOURCE_DIR}/fuzz/run ${KESTROVA_FUZZ_DIR}/${target}_fuzzer ${KESTROVA_FUZZ_SECONDS})
  set_tests_properties(fuzz_${target} PROPERTIES LABELS fuzz TIMEOUT 300)
endforeach()
