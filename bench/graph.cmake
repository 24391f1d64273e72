# Repaints of a large stored set (whole, zoomed, with a new scale, with mark
# points), side by side with the shared QCustomPlot baseline of the same data.
add_executable(bench_graph ${CMAKE_CURRENT_LIST_DIR}/graph_render.cpp)
target_link_libraries(bench_graph PRIVATE dl_graph dl_bench_baseline)
