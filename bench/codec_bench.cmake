# Codec speed beside the bare libraries, and the memory of loading a JPEG.
add_executable(bench_raster ${CMAKE_CURRENT_LIST_DIR}/raster_bench.cpp)
target_link_libraries(bench_raster PRIVATE zelk_codecs JPEG::JPEG PNG::PNG benchmark::benchmark
                                           zelk_warnings)

# Metafile raster operations beside the same byte work by hand.
add_executable(bench_metafile ${CMAKE_CURRENT_LIST_DIR}/metafile_bench.cpp)
target_link_libraries(bench_metafile PRIVATE zelk_codecs benchmark::benchmark zelk_warnings)
