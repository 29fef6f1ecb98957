# kestrova_add_test(NAME <name> SOURCES <files...> [LIBS <libs...>]
#                   [LABELS <unit|integration|gui|e2e>...] [TIMEOUT <s>] [ENV <k=v>...])
# One GoogleTest executable registered as one CTest test with labels, so
# `ctest -L unit` (or integration, gui, e2e) runs a subset.
find_package(GTest REQUIRED)

function(kestrova_add_test)
  cmake_parse_arguments(T "" "NAME;TIMEOUT" "SOURCES;LIBS;LABELS;ENV" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} kestrova_test_support GTest::gtest GTest::gtest_main)
  set_target_properties(${T_NAME} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  add_test(NAME ${T_NAME} COMMAND ${T_NAME} --gtest_color=no)
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  set_tests_properties(${T_NAME} PROPERTIES LABELS "${T_LABELS}" TIMEOUT ${T_TIMEOUT})
  if(T_ENV)
    set_tests_properties(${T_NAME} PROPERTIES ENVIRONMENT "${T_ENV}")
  endif()
endfunction()
