# Start-up to the main window shown, with the IP service answering, silent or unreachable.
add_executable(bench_gui_startup ${CMAKE_CURRENT_LIST_DIR}/StartupBench.cpp ${CMAKE_CURRENT_LIST_DIR}/GuiBenchMain.cpp)
target_link_libraries(bench_gui_startup PRIVATE kaldrani_gui kaldrani_standin_lib kaldrani_test_support Qt6::Test
                      benchmark::benchmark)
kaldrani_qt_target(bench_gui_startup)
