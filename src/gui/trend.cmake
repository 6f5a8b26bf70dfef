# The history's trend chart and CSV export, reached from the history window; the marks
# of failed figures in the main window.
find_package(Qt6 REQUIRED COMPONENTS Charts)
target_sources(kaldrani_gui PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/Trend.h
  ${CMAKE_CURRENT_LIST_DIR}/Trend.cpp
  ${CMAKE_CURRENT_LIST_DIR}/JiluTrendAccess.h
  ${CMAKE_CURRENT_LIST_DIR}/JiluTrendAccess.cpp
  ${CMAKE_CURRENT_LIST_DIR}/HistoryCsvExport.h
  ${CMAKE_CURRENT_LIST_DIR}/HistoryCsvExport.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SaveFileChooser.h
  ${CMAKE_CURRENT_LIST_DIR}/SaveFileChooser.cpp
  ${CMAKE_CURRENT_LIST_DIR}/FailureMarks.h
  ${CMAKE_CURRENT_LIST_DIR}/FailureMarks.cpp
)
target_link_libraries(kaldrani_gui PUBLIC Qt6::Charts)
