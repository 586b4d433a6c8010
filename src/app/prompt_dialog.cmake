# The prompt dialog with its history.
target_sources(zelk_app PRIVATE ${CMAKE_CURRENT_LIST_DIR}/prompt_dialog.cpp ${CMAKE_CURRENT_LIST_DIR}/prompt_dialog.h)
