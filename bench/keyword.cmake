# A keyword run of 7 engines x 100 pages against the loopback stand-in, beside libcurl
# fetching the same pages with one handle per engine.
add_executable(bench_keyword ${CMAKE_CURRENT_LIST_DIR}/KeywordBench.cpp)
target_link_libraries(bench_keyword PRIVATE kaldrani_core kaldrani_standin_lib benchmark::benchmark CURL::libcurl)
