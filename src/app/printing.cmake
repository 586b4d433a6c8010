# The print command.
target_sources(zelk_app PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/print_command.cpp
  ${CMAKE_CURRENT_LIST_DIR}/print_command.h
)
