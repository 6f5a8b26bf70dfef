# The history window filling its grid from a site of 1000 records, clicked as the user does.
add_executable(bench_gui_records ${CMAKE_CURRENT_LIST_DIR}/JiluBench.cpp)
target_link_libraries(bench_gui_records PRIVATE kaldrani_gui Qt6::Test benchmark::benchmark)
kaldrani_qt_target(bench_gui_records)
