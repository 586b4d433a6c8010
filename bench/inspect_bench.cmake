# The inspector's statistics of a 24 MP rectangle against a memcpy of the same bytes.
add_executable(bench_inspect inspect_bench.cpp)
target_link_libraries(bench_inspect PRIVATE zelk_core benchmark::benchmark zelk_warnings)
