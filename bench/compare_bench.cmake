# Comparing two images: the count against a memcpy of both 24 MP bitmaps, the clusters,
# and the flip, split and difference pictures of a 100 MP pair in a 1920 x 1080 view.
add_executable(bench_compare compare_bench.cpp)
target_link_libraries(bench_compare PRIVATE zelk_core benchmark::benchmark zelk_warnings)
