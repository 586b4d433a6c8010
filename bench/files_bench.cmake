# The start-up folder scan against `ls -1` of the same folder, and the colour range
# replacement pass against a memcpy of the same bitmap.
add_executable(bench_files files_bench.cpp)
target_link_libraries(bench_files PRIVATE zelk_codecs benchmark::benchmark zelk_warnings)
