# BMP and DIB decoding and writing, the loader and writer dispatch, safe replacement.
zelk_add_gtest(bmp_tests SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/dib_decode_test.cpp
  LIBS zelk_codecs)
