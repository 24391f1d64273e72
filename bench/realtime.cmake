# The work of one real-time sample tick at 1,000 and at 100,000 samples taken, and a
# full repaint of a 100,000-sample real-time graph beside QCustomPlot's replot.
find_package(QCustomPlotQt6 QUIET)
add_executable(bench_realtime ${CMAKE_CURRENT_LIST_DIR}/realtime.cpp)
target_link_libraries(bench_realtime PRIVATE dl_shell benchmark::benchmark Qt6::Widgets)
if(QCustomPlotQt6_FOUND)
  target_link_libraries(bench_realtime PRIVATE QCustomPlotQt6::QCustomPlotQt6)
  target_compile_definitions(bench_realtime PRIVATE DL_HAVE_QCUSTOMPLOT=1)
endif()
