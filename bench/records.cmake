add_executable(bench_records ${CMAKE_CURRENT_LIST_DIR}/RecordsBench.cpp)
target_link_libraries(bench_records PRIVATE kaldrani_core benchmark::benchmark_main)
