# Opening a long real-time run from its file (20,000 and 100,000 samples with their
# waveforms) beside reading the file alone, and beside the open that also works out
# every sample's power figures.
add_executable(bench_open_run ${CMAKE_CURRENT_LIST_DIR}/open_run.cpp)
target_link_libraries(bench_open_run PRIVATE dl_shell dl_bench_ratios)
