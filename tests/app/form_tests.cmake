# The main window driven through the scripted desktop, offscreen.
zelk_add_gtest(form_tests
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/form_fixture.cpp
    ${CMAKE_CURRENT_LIST_DIR}/form_loading_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/form_view_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/form_commands_test.cpp
  LIBS zelk_app)
