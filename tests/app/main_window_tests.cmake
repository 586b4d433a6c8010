# The main window driven through the scripted desktop, offscreen.
zelk_add_gtest(main_window_tests
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/main_window_fixture.cpp
    ${CMAKE_CURRENT_LIST_DIR}/main_window_loading_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/main_window_view_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/main_window_commands_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/main_window_sequences_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/main_window_state_test.cpp
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
