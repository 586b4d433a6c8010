# The view blits, one pan step and the colour naming, against a memcpy of the view.
add_executable(bench_view view_bench.cpp)
target_link_libraries(bench_view PRIVATE zelk_core benchmark::benchmark zelk_warnings)
