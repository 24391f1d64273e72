# The QCustomPlot baseline every graph benchmark compares with, and the ratio
# reporter (QCustomPlot is linked into the benchmarks only).
find_package(QCustomPlotQt6 QUIET)
add_library(dl_bench_ratios STATIC ${CMAKE_CURRENT_LIST_DIR}/support/Ratios.cpp)
target_link_libraries(dl_bench_ratios PUBLIC benchmark::benchmark)
target_include_directories(dl_bench_ratios PUBLIC ${CMAKE_SOURCE_DIR})
add_library(dl_bench_baseline STATIC ${CMAKE_CURRENT_LIST_DIR}/support/QcpBaseline.cpp)
target_link_libraries(dl_bench_baseline PUBLIC dl_base dl_bench_ratios Qt6::Widgets)
if(QCustomPlotQt6_FOUND)
  target_link_libraries(dl_bench_baseline PUBLIC QCustomPlotQt6::QCustomPlotQt6)
  target_compile_definitions(dl_bench_baseline PRIVATE DL_HAVE_QCUSTOMPLOT=1)
endif()
