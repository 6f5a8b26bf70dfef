target_sources(test_cli PRIVATE ${CMAKE_CURRENT_LIST_DIR}/OverviewVerbTest.cpp)
target_link_libraries(test_cli PRIVATE kaldrani_standin_lib)
