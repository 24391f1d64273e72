# Full repaint of a large stored set, side by side with QCustomPlot replotting the
# same data at the same size (QCustomPlot is linked here only).
find_package(QCustomPlotQt6 QUIET)
add_executable(bench_graph ${CMAKE_CURRENT_LIST_DIR}/graph_render.cpp)
target_link_libraries(bench_graph PRIVATE dl_graph benchmark::benchmark Qt6::Widgets)
if(QCustomPlotQt6_FOUND)
  target_link_libraries(bench_graph PRIVATE QCustomPlotQt6::QCustomPlotQt6)
  target_compile_definitions(bench_graph PRIVATE DL_HAVE_QCUSTOMPLOT=1)
endif()
