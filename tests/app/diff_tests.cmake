# The --diff command, run as a function on files in a temporary folder.
zelk_add_gtest(diff_command_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/diff_command_test.cpp LIBS zelk_app)
