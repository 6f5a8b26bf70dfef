# The bulk mail window.
target_sources(kaldrani_gui PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/mail.h
  ${CMAKE_CURRENT_LIST_DIR}/mail.cpp
)
