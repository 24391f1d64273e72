# The work of one real-time sample tick at 1,000 and at 100,000 samples taken, and a
# full repaint of a 100,000-sample real-time graph beside the shared QCustomPlot baseline.
add_executable(bench_realtime ${CMAKE_CURRENT_LIST_DIR}/realtime.cpp)
target_link_libraries(bench_realtime PRIVATE dl_shell dl_sim dl_bench_baseline)
