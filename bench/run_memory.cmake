# The resident memory a 100,000-sample real-time run adds, fed through the real-time
# session in virtual time: the waveforms wait in the journal on the disk.
add_executable(bench_run_memory ${CMAKE_CURRENT_LIST_DIR}/run_memory.cpp)
target_link_libraries(bench_run_memory PRIVATE dl_shell dl_sim benchmark::benchmark)
