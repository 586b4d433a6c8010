# The main window driven through the scripted desktop, offscreen.
zelk_add_gtest(main_window_tests
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/main_window_fixture.cpp
    ${CMAKE_CURRENT_LIST_DIR}/main_window_loading_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/main_window_view_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/main_window_commands_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/main_window_sequences_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/main_window_state_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/main_window_compare_test.cpp
  LIBS zelk_app)
# The readout and exact inspection, also at a scale factor of 2, where view positions
# are device pixels.
zelk_add_gtest(main_window_inspection_tests
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/main_window_fixture.cpp
    ${CMAKE_CURRENT_LIST_DIR}/main_window_inspection_test.cpp
  LIBS zelk_app)
add_test(NAME main_window_inspection_at_scale_factor_2 COMMAND main_window_inspection_tests)
set_tests_properties(main_window_inspection_at_scale_factor_2 PROPERTIES TIMEOUT 120
  ENVIRONMENT "QT_QPA_PLATFORM=offscreen;QT_SCALE_FACTOR=2;ASAN_OPTIONS=allocator_may_return_null=1:detect_leaks=1")
# DecodeJob alone: the file it reports, cancel latency, never waiting at exit.
zelk_add_gtest(decode_job_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/decode_job_test.cpp
  LIBS zelk_app)
# Random sequences of user actions (rapidcheck), with a fixed seed in the test run.
find_package(rapidcheck REQUIRED)
add_executable(main_window_random_tests
  ${CMAKE_CURRENT_LIST_DIR}/main_window_fixture.cpp
  ${CMAKE_CURRENT_LIST_DIR}/main_window_random_test.cpp)
target_link_libraries(main_window_random_tests PRIVATE zelk_app zelk_scripted_desktop rapidcheck
  rapidcheck_gtest GTest::gtest GTest::gtest_main zelk_warnings)
zelk_test_code(main_window_random_tests)
target_compile_definitions(main_window_random_tests PRIVATE
  ZELK_TESTDATA_DIR="${ZELK_TESTDATA_DIR}" ZELK_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
add_test(NAME main_window_random_actions COMMAND main_window_random_tests)
set_tests_properties(main_window_random_actions PROPERTIES TIMEOUT 300
  ENVIRONMENT "QT_QPA_PLATFORM=offscreen;RC_PARAMS=seed=20261209 max_success=200 max_size=100;ASAN_OPTIONS=allocator_may_return_null=1:detect_leaks=1;UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1")
