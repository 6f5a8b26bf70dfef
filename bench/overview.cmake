# One whole site overview against the loopback stand-in, beside eighteen bare libcurl
# fetches of the same pages (the transport floor).
add_executable(bench_overview ${CMAKE_CURRENT_LIST_DIR}/OverviewBench.cpp)
target_link_libraries(bench_overview PRIVATE kaldrani_core kaldrani_standin_lib benchmark::benchmark CURL::libcurl)
