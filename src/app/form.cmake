target_sources(zelk_app PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/image_view.cpp
  ${CMAKE_CURRENT_LIST_DIR}/image_view.h
  ${CMAKE_CURRENT_LIST_DIR}/picture_file_filters.h
  ${CMAKE_CURRENT_LIST_DIR}/unit1.cpp
  ${CMAKE_CURRENT_LIST_DIR}/unit1.h
  ${CMAKE_CURRENT_LIST_DIR}/form_loading.cpp
  ${CMAKE_CURRENT_LIST_DIR}/form_view.cpp
  ${CMAKE_CURRENT_LIST_DIR}/form_commands.cpp
)
