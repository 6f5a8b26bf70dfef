# kaldrani-cli against hostile loopback servers: terminal bytes, huge matches.
target_sources(test_cli PRIVATE ${CMAKE_CURRENT_LIST_DIR}/HostileCliTest.cpp)
target_link_libraries(test_cli PRIVATE kaldrani_test_support)
