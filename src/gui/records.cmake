# The records windows: query history, site manager, and the application's error box.
target_sources(kaldrani_gui PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/ErrorBox.h
  ${CMAKE_CURRENT_LIST_DIR}/ErrorBox.cpp
  ${CMAKE_CURRENT_LIST_DIR}/HistoryTableModel.h
  ${CMAKE_CURRENT_LIST_DIR}/HistoryTableModel.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Jilu.h
  ${CMAKE_CURRENT_LIST_DIR}/Jilu.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ManiSite.h
  ${CMAKE_CURRENT_LIST_DIR}/ManiSite.cpp
)
