# Every target of the project builds with these warnings; they must stay clean.
add_library(zelk_warnings INTERFACE)
target_compile_options(zelk_warnings INTERFACE -Wall -Wextra -Wshadow)
