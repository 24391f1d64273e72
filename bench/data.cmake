# Saving and loading a full logger memory: .stdata and report, against fwrite/fread
# baselines of the same bytes, plain and durable (fsync + rename); prints the ratios.
add_executable(bench_data ${CMAKE_CURRENT_LIST_DIR}/data_files.cpp)
target_link_libraries(bench_data PRIVATE dl_data dl_bench_ratios)
