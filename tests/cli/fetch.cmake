# kaldrani-cli fetch, run as the real binary against loopback servers.
target_sources(test_cli PRIVATE ${CMAKE_CURRENT_LIST_DIR}/FetchVerbTest.cpp)
target_link_libraries(test_cli PRIVATE kaldrani_test_support)
