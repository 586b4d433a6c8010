zelk_add_gtest(core_print_tests SOURCES print_layout_test.cpp LIBS zelk_core)
