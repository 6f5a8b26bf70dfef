# The trend chart of 1000 records, in the same program as the history window's click on
# 1000 records, so the two are measured side by side.
target_sources(bench_gui_records PRIVATE ${CMAKE_CURRENT_LIST_DIR}/TrendBench.cpp)
