target_sources(zelk_codecs PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/ico_reader.cpp
  ${CMAKE_CURRENT_LIST_DIR}/metafile_canvas.cpp
  ${CMAKE_CURRENT_LIST_DIR}/metafile_dib.cpp
  ${CMAKE_CURRENT_LIST_DIR}/wmf_player.cpp
  ${CMAKE_CURRENT_LIST_DIR}/emf_player.cpp
  ${CMAKE_CURRENT_LIST_DIR}/metafile_reader.cpp
  ${CMAKE_CURRENT_LIST_DIR}/metafile_writer.cpp
)
