# Every target of the project builds with these warnings; they must stay clean. The
# test command builds with ZELK_WERROR=ON, so a new warning fails it.
option(ZELK_WERROR "Treat compiler warnings as errors" OFF)
add_library(zelk_warnings INTERFACE)
target_compile_options(zelk_warnings INTERFACE -Wall -Wextra -Wshadow
                       $<$<BOOL:${ZELK_WERROR}>:-Werror>)
