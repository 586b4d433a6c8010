# JPEG and PNG: files the tests make themselves, and the public test images.
zelk_add_gtest(raster_png_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/png_codec_test.cpp
               LIBS zelk_codecs PNG::PNG)
# The whole-file PNG decoding of --diff against the normal reader.
zelk_add_gtest(raster_png_whole_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/png_whole_file_test.cpp
               LIBS zelk_codecs PNG::PNG)
zelk_add_gtest(raster_jpeg_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/jpeg_codec_test.cpp
               LIBS zelk_codecs JPEG::JPEG)
zelk_add_gtest(raster_testdata_tests
               SOURCES ${CMAKE_CURRENT_LIST_DIR}/png_testdata_test.cpp
                       ${CMAKE_CURRENT_LIST_DIR}/jpeg_testdata_test.cpp
               LIBS zelk_codecs)
# Hostile JPEG, PNG, ICO and BMP files, each loaded in a child process whose time and
# peak memory are bounded.
zelk_add_gtest(raster_hostile_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/hostile_input_test.cpp
               LIBS zelk_codecs PNG::PNG)
if(ZELK_SANITIZE)
  target_compile_definitions(raster_hostile_tests PRIVATE ZELK_SANITIZED_BUILD=1)
endif()
