# A paced download from the logger simulator through a pseudo-terminal, against the
# line-rate limit of 115200 baud.
if(TARGET orvex-logger-sim)
add_executable(bench_link ${CMAKE_CURRENT_LIST_DIR}/link_download.cpp)
target_link_libraries(bench_link PRIVATE dl_sim benchmark::benchmark)
target_include_directories(bench_link PRIVATE ${CMAKE_SOURCE_DIR}/tests/link ${CMAKE_SOURCE_DIR}/tests)
target_compile_definitions(bench_link PRIVATE DL_SIM_PATH="$<TARGET_FILE:orvex-logger-sim>")
add_dependencies(bench_link orvex-logger-sim)
endif()
