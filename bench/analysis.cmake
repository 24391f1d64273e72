# The power figures and the spectrum of one captured sample beside the RMS-and-
# frequency analysis of the same sample.
add_executable(bench_analysis ${CMAKE_CURRENT_LIST_DIR}/analysis.cpp)
target_link_libraries(bench_analysis PRIVATE dl_graph dl_bench_ratios)
