# Real-time run files: saving and opening a run with its waveforms, and one sample
# appended to the journal, each beside plain fwrite/fread (+ fsync) of the same bytes.
add_executable(bench_rtdata ${CMAKE_CURRENT_LIST_DIR}/rtdata_files.cpp)
target_link_libraries(bench_rtdata PRIVATE dl_data dl_bench_ratios)
