target_sources(zelk_codecs PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/bmp_bytes.h
  ${CMAKE_CURRENT_LIST_DIR}/bmp_reader.cpp
  ${CMAKE_CURRENT_LIST_DIR}/bmp_writer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/dib.cpp
  ${CMAKE_CURRENT_LIST_DIR}/image_formats.cpp
  ${CMAKE_CURRENT_LIST_DIR}/image_loader.cpp
  ${CMAKE_CURRENT_LIST_DIR}/image_writer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/safe_file_writer.cpp
)
