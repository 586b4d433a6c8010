# Tests of the browsing list, paths, file spec and folder scan (src/core/files) and of
# the field scanner and colour ranges (src/core/text).
zelk_add_gtest(files_list_tests SOURCES file_list_test.cpp LIBS zelk_core)
zelk_add_gtest(files_spec_tests SOURCES file_spec_test.cpp LIBS zelk_core)
# The scan lists what the codecs' table of formats can open.
zelk_add_gtest(files_folder_scan_tests SOURCES folder_scan_test.cpp LIBS zelk_codecs)
zelk_add_gtest(text_scanner_tests SOURCES scanner_test.cpp LIBS zelk_core)
zelk_add_gtest(text_colour_range_tests SOURCES colour_range_test.cpp LIBS zelk_core)
