# The statistics of a full logger memory (262,144 samples on each of two channels)
# beside one pass that only sums the values.
add_executable(bench_stats ${CMAKE_CURRENT_LIST_DIR}/stats.cpp)
target_link_libraries(bench_stats PRIVATE dl_data dl_bench_ratios)
