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
  ${CMAKE_CURRENT_LIST_DIR}/png_writer.cpp
)
