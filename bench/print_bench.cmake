# Printing a 24 MP image to a PDF at 600 dpi against writing it as PNG (zlib level 6).
add_executable(bench_print ${CMAKE_CURRENT_LIST_DIR}/print_bench.cpp)
target_link_libraries(bench_print PRIVATE zelk_app zelk_codecs benchmark::benchmark zelk_warnings)
