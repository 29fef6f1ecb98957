# kestrova_add_test(NAME <name> SOURCES <files...> [LIBS <libs...>]
#                   [LABELS <unit|integration|gui|e2e>...] [TIMEOUT <s>] [ENV <k=v>...])
# One GoogleTest executable registered as one CTest test with labels, so
# `ctest -L unit` (or integration, gui, e2e) runs a subset.
#
# In a KESTROVA_TSAN build only the tests named in KESTROVA_TSAN_TESTS are
# registered, each labelled "tsan" and run with the suppressions of
# tests/tsan.supp; the target kestrova_tsan_tests builds them all. The others
# stay targets (their folders may still add to them) that nothing builds.
find_package(GTest REQUIRED)

# The tests whose threads share the media library's state: the player's seven
# threads, the engine's workers and report threads, the hand-over. The
# engine's conversion test is not among them: it runs its tasks on the calling
# thread almost throughout, and would double this run's time for little.
set(KESTROVA_TSAN_TESTS media_hand_over_test media_player_test media_engine_component_test
    media_engine_output_staging_test media_engine_hooks_test)
# The sanitized program runs many times slower: tests that judge how well
# playback keeps time say nothing about races there and would fail without a
# fault, so they are left out of that run (they run in the ordinary build).
set(KESTROVA_TSAN_LEAVE_OUT_media_player_test
    "PlayerSyncTest.*:PlayerSeekTest.*")
if(KESTROVA_TSAN)
  add_custom_target(kestrova_tsan_tests)
endif()

function(kestrova_add_test)
  cmake_parse_arguments(T "" "NAME;TIMEOUT" "SOURCES;LIBS;LABELS;ENV" ${ARGN})
  if(KESTROVA_TSAN AND NOT T_NAME IN_LIST KESTROVA_TSAN_TESTS)
    add_executable(${T_NAME} EXCLUDE_FROM_ALL ${T_SOURCES})
    target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} kestrova_test_support GTest::gtest GTest::gtest_main)
    return()
  endif()
  if(KESTROVA_TSAN)
    set(T_LABELS tsan)
    # Every test runs on the sanitizer's clock: a slower program, a longer limit.
    if(T_TIMEOUT)
      math(EXPR T_TIMEOUT "${T_TIMEOUT} * 3")
    else()
      set(T_TIMEOUT 900)
    endif()
    if(DEFINED KESTROVA_TSAN_LEAVE_OUT_${T_NAME})
      list(APPEND T_ENV "GTEST_FILTER=-${KESTROVA_TSAN_LEAVE_OUT_${T_NAME}}")
    endif()
    list(APPEND T_ENV "TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:suppressions=${CMAKE_SOURCE_DIR}/tests/tsan.supp")
  endif()
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
  if(KESTROVA_TSAN)
    add_dependencies(kestrova_tsan_tests ${T_NAME})
  endif()
endfunction()
