# The prompt dialog with its history.
target_sources(zelk_app PRIVATE ${CMAKE_CURRENT_LIST_DIR}/zelkdlgsrc.cpp ${CMAKE_CURRENT_LIST_DIR}/zelkdlgsrc.h)
