target_sources(test_cli PRIVATE ${CMAKE_CURRENT_LIST_DIR}/HistoryCsvVerbTest.cpp)
target_include_directories(test_cli PRIVATE ${PROJECT_SOURCE_DIR}/tests/support)
target_link_libraries(test_cli PRIVATE kaldrani_test_support)
