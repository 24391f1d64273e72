# The data list of a full logger memory against a short one, the first preview
# page of its 4,370-page list report (ours and Qt's preview), and the whole report
# as a PDF.
add_executable(bench_lists ${CMAKE_CURRENT_LIST_DIR}/lists.cpp)
target_link_libraries(bench_lists PRIVATE dl_ui dl_bench_ratios)
