target_sources(zelk_app PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/image_view.cpp
  ${CMAKE_CURRENT_LIST_DIR}/image_view.h
  ${CMAKE_CURRENT_LIST_DIR}/main_window.cpp
  ${CMAKE_CURRENT_LIST_DIR}/main_window.h
  ${CMAKE_CURRENT_LIST_DIR}/main_window_loading.cpp
  ${CMAKE_CURRENT_LIST_DIR}/decode_job.cpp
  ${CMAKE_CURRENT_LIST_DIR}/decode_job.h
  ${CMAKE_CURRENT_LIST_DIR}/main_window_view.cpp
  ${CMAKE_CURRENT_LIST_DIR}/main_window_commands.cpp
  ${CMAKE_CURRENT_LIST_DIR}/main_window_inspection.cpp
  ${CMAKE_CURRENT_LIST_DIR}/inspector_panel.cpp
  ${CMAKE_CURRENT_LIST_DIR}/inspector_panel.h
)
