# One page fetch beside libcurl's, and the count extraction beside a plain memmem scan.
if(NOT TARGET kaldrani_test_support)
  add_subdirectory(${PROJECT_SOURCE_DIR}/tests/support ${CMAKE_CURRENT_BINARY_DIR}/support)
endif()
add_executable(bench_fetch ${CMAKE_CURRENT_LIST_DIR}/FetchBench.cpp)
target_link_libraries(bench_fetch PRIVATE kaldrani_core kaldrani_test_support benchmark::benchmark CURL::libcurl)
