# JPEG through libjpeg-turbo, PNG through libpng.
target_sources(zelk_codecs PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/claimed_size.cpp
  ${CMAKE_CURRENT_LIST_DIR}/jpeg_cmyk.cpp
  ${CMAKE_CURRENT_LIST_DIR}/jpeg_error_manager.cpp
  ${CMAKE_CURRENT_LIST_DIR}/jpeg_offset_source.cpp
  ${CMAKE_CURRENT_LIST_DIR}/jpeg_reader.cpp
  ${CMAKE_CURRENT_LIST_DIR}/jpeg_stripes.cpp
  ${CMAKE_CURRENT_LIST_DIR}/jpeg_writer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/png_error_handling.cpp
  ${CMAKE_CURRENT_LIST_DIR}/png_reader.cpp
  ${CMAKE_CURRENT_LIST_DIR}/png_two_thread_rows.cpp
  ${CMAKE_CURRENT_LIST_DIR}/png_whole_file.cpp
  ${CMAKE_CURRENT_LIST_DIR}/png_writer.cpp
)
if(TARGET PkgConfig::LIBDEFLATE)
  target_link_libraries(zelk_codecs PRIVATE PkgConfig::LIBDEFLATE)
  set_property(SOURCE ${CMAKE_CURRENT_LIST_DIR}/png_whole_file.cpp APPEND PROPERTY
               COMPILE_DEFINITIONS ZELK_HAVE_LIBDEFLATE=1)
endif()
