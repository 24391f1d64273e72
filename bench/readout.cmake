# The work of one mouse move over the plot of the real graph view (nearest point,
# read-out text and strip, cursor line) at 262,144 points against 100.
add_executable(bench_readout ${CMAKE_CURRENT_LIST_DIR}/readout.cpp)
target_link_libraries(bench_readout PRIVATE dl_ui dl_bench_ratios)
