# The main window driven through the scripted desktop, offscreen.
zelk_add_gtest(main_window_tests
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/main_window_fixture.cpp
    ${CMAKE_CURRENT_LIST_DIR}/main_window_loading_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/main_window_view_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/main_window_commands_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/main_window_sequences_test.cpp
  LIBS zelk_app)
