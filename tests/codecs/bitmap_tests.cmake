# BMP and DIB decoding and writing, the loader and writer dispatch, safe replacement.
zelk_add_gtest(bmp_tests SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/dib_decode_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/bmp_file_test.cpp
  LIBS zelk_codecs)
zelk_add_gtest(loader_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/loader_dispatch_test.cpp LIBS zelk_codecs)
zelk_add_gtest(writer_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/writer_safe_file_test.cpp LIBS zelk_codecs)
