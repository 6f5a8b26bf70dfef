target_sources(test_cli PRIVATE ${CMAKE_CURRENT_LIST_DIR}/RecordsVerbsTest.cpp)
target_sources(test_cli PRIVATE ${CMAKE_CURRENT_LIST_DIR}/RecordsFailuresTest.cpp)
