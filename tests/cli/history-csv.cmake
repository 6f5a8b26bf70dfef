target_sources(test_cli PRIVATE ${CMAKE_CURRENT_LIST_DIR}/HistoryCsvVerbTest.cpp)
