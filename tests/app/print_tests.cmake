# The print command, printed to PDF files and read back with poppler's tools.
zelk_add_gtest(print_command_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/print_command_test.cpp LIBS zelk_app)
