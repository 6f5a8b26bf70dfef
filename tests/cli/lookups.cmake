# kaldrani-cli whois and ip, run as the real binary against the stand-in.
target_sources(test_cli PRIVATE ${CMAKE_CURRENT_LIST_DIR}/LookupVerbsTest.cpp)
target_link_libraries(test_cli PRIVATE kaldrani_standin_lib kaldrani_test_support)
